// TZelPNG's own contracts: what passes between the graphic and the codec, assignment in
// every direction, what a failed load or save leaves, change notifications, progress
// lending, the external bitmaps, the picture loader's registration, and pictures of
// their own on separate threads.

#include <thread>

#include "classlib/clipboard.h"
#include "png/ZelPNG.h"
#include "png/ZelPNGStream_Write.h"
#include "png_support.h"

namespace {

using core_test::ScanBytes;

const std::string Suite = CORPORA_DIR "/pngsuite/";

// A bitmap whose every byte depends on its position, so that any misplaced row shows.
std::unique_ptr<TBitmap> MakeBitmap(TPixelFormat format, int width, int height, int seed = 0) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(format);
  bitmap->SetSize(width, height);
  const int used = (width * (format == pf8bit ? 8 : 24) + 7) / 8;
  for (int y = 0; y < height; ++y) {
    auto* row = core_test::Row(*bitmap, y);
    for (int x = 0; x < used; ++x) row[x] = static_cast<std::uint8_t>(x * 7 + y * 13 + seed);
  }
  return bitmap;
}

std::vector<std::uint8_t> Bytes(TMemoryStream& stream) {
  const auto* p = static_cast<const std::uint8_t*>(stream.Memory());
  return std::vector<std::uint8_t>(p, p + stream.Size());
}

void Rewind(TMemoryStream& stream) { stream.SetPosition(0); }

using Stream = std::unique_ptr<TMemoryStream>;

// The bytes in a fresh memory stream, to be read from the start.
Stream StreamOf(const void* data, std::int64_t size) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->Write(data, size);
  Rewind(*stream);
  return stream;
}

// The PNG of a fresh graphic holding bitmap, saved with the given settings.
Stream Encode(TBitmap* bitmap, const std::function<void(TZelPNG&)>& settings = {}) {
  TZelPNG png;
  png.Assign(bitmap);
  if (settings) settings(png);
  auto stream = std::make_unique<TMemoryStream>();
  png.SaveToStream(stream.get());
  Rewind(*stream);
  return stream;
}

void LoadFile(TMemoryStream& stream, const std::string& name) {
  stream.LoadFromFile(Suite + name);
  Rewind(stream);
}

// Loads the suite file into png through a stream of its own.
void LoadSuiteFile(TZelPNG& png, const std::string& name) {
  TMemoryStream file;
  LoadFile(file, name);
  png.LoadFromStream(&file);
}

std::vector<std::uint8_t> ImageBytes(TZelPNG& png) { return ScanBytes(*png.CurrentImage()); }

// IHDR's colour type and interlace bytes of a PNG in memory.
int ColourType(TMemoryStream& stream) { return Bytes(stream).at(25); }
int InterlaceByte(TMemoryStream& stream) { return Bytes(stream).at(28); }

// A PNG that has a header, a comment and an end, but no image data.
Stream FileWithoutImageData() {
  using namespace png_test;
  const std::string file = Signature() + Ihdr(4, 3, 8, 2) + Text("Comment", "from the file") + Iend();
  return StreamOf(file.data(), static_cast<std::int64_t>(file.size()));
}

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message;
  }
  return "(nothing raised)";
}

// ------------------------------------------------------------------------------ settings

TEST(ZelPNGSettings, NewGraphicHasTheDocumentedDefaultsAndTheTimeOfItsCreation) {
  PngTimeRecord now{};
  CaptureCurrentTime(now);
  TZelPNG png;
  EXPECT_TRUE(png.Empty());
  EXPECT_EQ(png.IdatSize, 32768);
  EXPECT_EQ(png.CompressionLevel, -1);
  EXPECT_EQ(png.FilterMode, 1);
  EXPECT_DOUBLE_EQ(png.Gamma, 0.45455);
  EXPECT_EQ(png.BackgroundColor, -1);
  EXPECT_EQ(png.TransparentColor, -1);
  EXPECT_TRUE(png.SkipMacBinary);
  EXPECT_TRUE(png.UseCurrentTime);
  EXPECT_FALSE(png.HasAlpha());
  EXPECT_EQ(png.ModifiedTime.Year, now.Year);
  EXPECT_EQ(png.ModifiedTime.Day, now.Day);
}

TEST(ZelPNGSettings, EverySettingReachesTheFileAndComesBackFromALoad) {
  auto bitmap = MakeBitmap(pf24bit, 9, 5);
  Stream stream = Encode(bitmap.get(), [](TZelPNG& png) {
    png.Comment = "line one";
    png.BackgroundColor = 0x123456;
    png.TransparentColor = 0x000102;
    png.Gamma = 0.5;
    png.SignificantBits = 0x060708;
    png.PhysUnit = 1;
    png.PhysX = 2835;
    png.PhysY = 1417;
    png.UseCurrentTime = false;
    png.ModifiedTime = PngTimeRecord{2001, 2, 3, 4, 5, 6};
    png.Chromaticities = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
    png.GifControl = {1, 0, 0, 10};
  });
  TZelPNG loaded;
  loaded.LoadFromStream(stream.get());
  EXPECT_EQ(loaded.Comment, "line one\r\n");
  EXPECT_EQ(loaded.BackgroundColor, 0x123456);
  EXPECT_EQ(loaded.TransparentColor, 0x000102);
  EXPECT_DOUBLE_EQ(loaded.Gamma, 0.5);
  EXPECT_EQ(loaded.SignificantBits, 0x060708u);
  EXPECT_EQ(loaded.PhysUnit, 1);
  EXPECT_EQ(loaded.PhysX, 2835);
  EXPECT_EQ(loaded.PhysY, 1417);
  EXPECT_EQ(loaded.ModifiedTime.Year, 2001);
  EXPECT_EQ(loaded.ModifiedTime.Second, 6);
  EXPECT_EQ(loaded.Chromaticities[7], 6000u);
  EXPECT_EQ(loaded.GifControl[3], 10);
  EXPECT_EQ(loaded.SourceBits(), 24);
  EXPECT_EQ(ImageBytes(loaded), ScanBytes(*bitmap));
  // The reader makes the image transparent for the tRNS colour; the graphic follows it.
  EXPECT_TRUE(loaded.CurrentImage()->Transparent());
  EXPECT_TRUE(loaded.Transparent());
}

// Only a Comment left as the load gave it goes back as the chunks it came from; one set
// since is written as set, in one chunk or, empty, in none.
TEST(ZelPNGSettings, ACommentSetAfterALoadIsWrittenAsSet) {
  using namespace png_test;
  const struct {
    std::vector<std::string> Loaded;
    std::string Set;
    std::vector<std::string> Written;
  } rows[] = {{{"first", "second"}, "other", {"other"}}, {{"first"}, "", {}}, {{""}, "", {}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.Loaded) + " set to \"" + row.Set + "\"");
    const std::string file = CommentedPng(row.Loaded);
    TZelPNG png;
    png.LoadFromStream(StreamOf(file.data(), static_cast<std::int64_t>(file.size())).get());
    png.Comment = row.Set;
    TMemoryStream saved;
    png.SaveToStream(&saved);
    EXPECT_EQ(CommentTexts(StreamBytes(saved)), row.Written);
  }
}

TEST(ZelPNGSettings, AbsentTimeChromaticitiesAndGifControlReadAsZeroButTheNextSaveStampsTheTime) {
  TZelPNG png;
  png.ModifiedTime = PngTimeRecord{1999, 1, 1, 1, 1, 1};
  png.Chromaticities.fill(7);
  png.GifControl.fill(7);
  LoadSuiteFile(png, "basn2c08.png");
  EXPECT_EQ(png.ModifiedTime.Year, 0);
  EXPECT_EQ(png.Chromaticities, (std::array<std::uint32_t, 8>{}));
  EXPECT_EQ(png.GifControl, (std::array<std::uint8_t, 4>{}));

  TMemoryStream saved;
  png.SaveToStream(&saved);
  Rewind(saved);
  TZelPNG again;
  again.LoadFromStream(&saved);
  EXPECT_GE(again.ModifiedTime.Year, 2020);
}

TEST(ZelPNGSettings, IdatSizeIsCheckedOnlyWhenSavingAndOnlyThroughSaveToStream) {
  struct Row { std::int32_t Size; bool Accepted; } rows[] = {
      {255, false}, {256, true}, {100000, true}, {100001, false}, {-1, false}};
  auto bitmap = MakeBitmap(pf24bit, 4, 4);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Size);
    TZelPNG png;
    png.Assign(bitmap.get());
    png.IdatSize = row.Size;
    TMemoryStream stream;
    const std::string message = MessageOf([&] { png.SaveToStream(&stream); });
    if (row.Accepted) {
      EXPECT_EQ(message, "(nothing raised)");
    } else {
      EXPECT_EQ(message, "Write PNG Param: Err IDAT Size(min:256  max:100000)");
      EXPECT_EQ(stream.Size(), 0);
    }
    // Stored data use the writer's own defaults, so the size plays no part there.
    TMemoryStream stored;
    png.WriteStoredData(&stored);
    EXPECT_GT(stored.Size(), 0);
  }
}

TEST(ZelPNGSettings, RowHooksAndTheKeyRequestReachTheStreams) {
  auto bitmap = MakeBitmap(pf24bit, 6, 5);
  const auto scramble = [](TObject*, std::uint8_t* row, std::int32_t count, std::int32_t, const std::string& key) {
    for (std::int32_t i = 0; i < count; ++i) row[i] ^= static_cast<std::uint8_t>(key.at(0));
  };
  Stream stream = Encode(bitmap.get(), [&](TZelPNG& png) {
    png.RowHookKey = std::string(1, 'K');
    png.OnWriteRow = scramble;
  });

  struct Row { const char* Name; bool AnswerKey, Restored; } rows[] = {{"key given", true, true}, {"no key", false, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    TZelPNG png;
    png.RowHookKey = "preset";
    std::string offered;
    png.OnKeyRequest = [&](TObject*, std::string& key) {
      offered = key;
      if (row.AnswerKey) key = "K";
    };
    png.OnReadRow = scramble;
    Rewind(*stream);
    png.LoadFromStream(stream.get());
    EXPECT_EQ(offered, "preset");
    EXPECT_EQ(ImageBytes(png) == ScanBytes(*bitmap), row.Restored);
  }
}

// ------------------------------------------------------------------------------ assignment

TEST(ZelPNGAssign, FromAnotherGraphicCopiesImageAlphaAndSettingsButNotTheLoadResults) {
  TZelPNG source;
  LoadSuiteFile(source, "basn6a08.png");
  ASSERT_TRUE(source.HasAlpha());
  source.IdatSize = 5;  // copied without a check
  source.CompressionLevel = 9;
  source.FilterMode = 5;
  source.Interlace = 1;
  source.Comment = "c";
  source.UseCurrentTime = false;
  source.ModifiedTime = PngTimeRecord{2010, 1, 2, 3, 4, 5};
  source.Chromaticities.fill(3);
  source.RowHookKey = "not copied";
  source.GifControl.fill(9);
  source.SkipMacBinary = false;
  source.ReadHighColor = true;

  TZelPNG copy;
  copy.Assign(&source);
  EXPECT_EQ(ImageBytes(copy), ImageBytes(source));
  EXPECT_EQ(ScanBytes(*copy.CurrentAlpha()), ScanBytes(*source.CurrentAlpha()));
  EXPECT_EQ(copy.IdatSize, 5);
  EXPECT_EQ(copy.CompressionLevel, 9);
  EXPECT_EQ(copy.FilterMode, 5);
  EXPECT_EQ(copy.Interlace, 1);
  EXPECT_EQ(copy.Comment, "c");
  EXPECT_FALSE(copy.UseCurrentTime);
  EXPECT_EQ(copy.ModifiedTime.Year, 2010);
  EXPECT_EQ(copy.Chromaticities, source.Chromaticities);
  EXPECT_EQ(copy.RowHookKey, "");
  EXPECT_EQ(copy.GifControl, (std::array<std::uint8_t, 4>{}));
  EXPECT_TRUE(copy.SkipMacBinary);
  EXPECT_FALSE(copy.ReadHighColor);
  EXPECT_FALSE(copy.HasAlpha());
  EXPECT_EQ(copy.SourceBits(), 0);

  // Without HasAlpha the copy offers no alpha bitmap, so its file has no alpha channel.
  copy.IdatSize = 32768;
  TMemoryStream fromCopy, fromSource;
  copy.SaveToStream(&fromCopy);
  source.IdatSize = 32768;
  source.SaveToStream(&fromSource);
  EXPECT_EQ(ColourType(fromCopy), 2);
  EXPECT_EQ(ColourType(fromSource), 6);
}

TEST(ZelPNGAssign, BetweenGraphicBitmapAndPictureInEveryDirection) {
  ZelPNG_Initialize();
  auto bitmap = MakeBitmap(pf24bit, 7, 3, 1);
  auto other = MakeBitmap(pf8bit, 2, 2, 5);

  // Bitmap into graphic: the picture arrives, every PNG setting of the target stays.
  TZelPNG png;
  LoadSuiteFile(png, "basn6a08.png");
  png.Comment = "kept";
  png.Assign(bitmap.get());
  EXPECT_EQ(ImageBytes(png), ScanBytes(*bitmap));
  EXPECT_EQ(png.Comment, "kept");
  EXPECT_TRUE(png.HasAlpha());
  EXPECT_FALSE(png.CurrentAlpha()->Empty());

  // Graphic into bitmap: the image only.
  TBitmap target;
  target.Assign(&png);
  EXPECT_EQ(ScanBytes(target), ScanBytes(*bitmap));

  // Graphic into picture: the picture holds a graphic of the same class and settings.
  TPicture picture;
  picture.Assign(&png);
  auto* held = dynamic_cast<TZelPNG*>(picture.Graphic());
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->Comment, "kept");
  EXPECT_EQ(ImageBytes(*held), ScanBytes(*bitmap));

  // Picture into graphic and into bitmap.
  TZelPNG fromPicture;
  fromPicture.Assign(&picture);
  EXPECT_EQ(fromPicture.Comment, "kept");
  EXPECT_EQ(ImageBytes(fromPicture), ScanBytes(*bitmap));
  TBitmap bitmapFromPicture;
  bitmapFromPicture.Assign(&picture);
  EXPECT_EQ(ScanBytes(bitmapFromPicture), ScanBytes(*bitmap));

  // A picture holding a bitmap gives the graphic that bitmap.
  TPicture bitmapPicture;
  bitmapPicture.Assign(other.get());
  fromPicture.Assign(&bitmapPicture);
  EXPECT_EQ(ImageBytes(fromPicture), ScanBytes(*other));
  EXPECT_EQ(fromPicture.CurrentImage()->PixelFormat(), pf8bit);
}

TEST(ZelPNGAssign, ExternalImageIsWhatLeavesAndIsLetGoByAnAssignment) {
  auto external = MakeBitmap(pf24bit, 5, 5, 9);
  auto bitmap = MakeBitmap(pf24bit, 3, 3);
  TZelPNG png;
  png.ExternalImage = external.get();
  TBitmap target;
  target.Assign(&png);
  EXPECT_EQ(ScanBytes(target), ScanBytes(*external));

  // A graphic copy takes the reference; an assignment from a bitmap lets it go.
  TZelPNG copy;
  copy.Assign(&png);
  EXPECT_EQ(copy.ExternalImage, external.get());
  png.Assign(&png);
  EXPECT_EQ(png.ExternalImage, external.get());
  png.Assign(bitmap.get());
  EXPECT_EQ(png.ExternalImage, nullptr);
  EXPECT_EQ(ImageBytes(png), ScanBytes(*bitmap));
  EXPECT_EQ(external->Width(), 5);
}

TEST(ZelPNGAssign, UnsupportedSourcesAndDestinationsRaiseAndChangeNothing) {
  auto external = MakeBitmap(pf24bit, 2, 2);
  TZelPNG png;
  png.ExternalImage = external.get();
  int changes = 0;
  png.OnChange = [&](TObject*) { ++changes; };
  TCanvas canvas;
  TPicture empty;
  struct Row {
    const char* Name;
    std::function<void()> Action;
    std::string Message;
  };
  const Row rows[] = {
      {"none", [&] { png.Assign(nullptr); }, "nil を TZelPNG に代入することはできません"},
      {"canvas", [&] { png.Assign(&canvas); }, "TCanvas を TZelPNG に代入することはできません"},
      {"empty picture", [&] { png.Assign(&empty); }, "nil を TZelPNG に代入することはできません"},
      {"to a canvas", [&] { png.AssignTo(&canvas); }, "TZelPNG を TCanvas に代入することはできません"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    EXPECT_EQ(MessageOf(row.Action), row.Message);
  }
  EXPECT_EQ(png.ExternalImage, external.get());
  EXPECT_EQ(changes, 0);
}

// ------------------------------------------------------------------------------ loads

TEST(ZelPNGLoad, AFailedLoadKeepsThePictureAndTheSettingsAndRaisesNoChange) {
  struct Row {
    const char* Name;
    std::function<std::unique_ptr<TStream>()> Data;
    std::string Message;
    // Failures before the image data leave the previous picture in place.
    bool KeepsPicture;
  };
  const Row rows[] = {
      {"not a PNG", [] { return StreamOf("GIF89a and more bytes", 21); }, "PNG LoadStream: Not PNG Format", true},
      {"no image data", FileWithoutImageData, "Read Image (PNG): Read Error", true},
      {"cut inside the image data",
       [] {
         auto big = MakeBitmap(pf24bit, 64, 64);
         Stream whole = Encode(big.get());
         return StreamOf(whole->Memory(), whole->Size() / 2);
       },
       "Read Image (PNG): Read Error", false},
      {"an allocation fails", [] { return std::make_unique<core_test::TAllocationFailingStream>(); }, SOutOfMemory, true},
  };
  auto previous = MakeBitmap(pf24bit, 3, 2, 4);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    TZelPNG png;
    LoadSuiteFile(png, "basn6a08.png");
    png.Assign(previous.get());
    png.Comment = "before";
    png.Gamma = 2.0;
    int changes = 0;
    png.OnChange = [&](TObject*) { ++changes; };
    const std::unique_ptr<TStream> data = row.Data();
    data->SetPosition(0);
    EXPECT_EQ(MessageOf([&] { png.LoadFromStream(data.get()); }), row.Message);
    EXPECT_EQ(png.Comment, "before");
    EXPECT_DOUBLE_EQ(png.Gamma, 2.0);
    EXPECT_TRUE(png.HasAlpha());
    EXPECT_EQ(changes, 0);
    if (row.KeepsPicture) {
      EXPECT_EQ(ImageBytes(png), ScanBytes(*previous));
      EXPECT_TRUE(png.CurrentAlpha()->Empty());
    }
  }
}

// Rows are inflated in blocks ahead of their use; a fault far into the data must still
// leave every row before it decoded, as reading row by row would.
TEST(ZelPNGLoad, AFaultInsideTheImageDataKeepsEveryRowBeforeIt) {
  constexpr int width = 200, height = 400, faultRow = 300;
  constexpr std::size_t rowLength = 1 + width * 3;
  auto bitmap = MakeBitmap(pf24bit, width, height);
  for (int y = 0; y < height; ++y) std::memcpy(bitmap->ScanLine(y), &y, sizeof y);  // every row unique
  // Stored (level 0) data hold each row verbatim: its filter byte, then its bytes.
  Stream file = Encode(bitmap.get(), [](TZelPNG& png) { png.CompressionLevel = 0; });
  const std::vector<std::uint8_t> bytes = Bytes(*file);
  auto* row = core_test::Row(*bitmap, faultRow);
  const std::uint8_t rgb[6] = {row[2], row[1], row[0], row[5], row[4], row[3]};
  const auto at = std::search(bytes.begin(), bytes.end(), rgb, rgb + 6);
  ASSERT_NE(at, bytes.end());
  const auto filterByte = static_cast<std::size_t>(at - bytes.begin()) - 1;
  ASSERT_EQ(bytes[filterByte], 0);

  // The file cut after the image-data chunk holding that filter byte, and the rows that
  // zlib alone gets whole out of what is left.
  std::size_t cut = 8;
  std::vector<std::uint8_t> idat;
  while (cut < filterByte) {
    const std::uint32_t length = (std::uint32_t{bytes[cut]} << 24) | (std::uint32_t{bytes[cut + 1]} << 16) |
                                 (std::uint32_t{bytes[cut + 2]} << 8) | bytes[cut + 3];
    if (std::memcmp(&bytes[cut + 4], "IDAT", 4) == 0) idat.insert(idat.end(), &bytes[cut + 8], &bytes[cut + 8] + length);
    cut += 12 + length;
  }
  std::vector<std::uint8_t> raw(rowLength * height);
  z_stream z{};
  ASSERT_EQ(inflateInit(&z), Z_OK);
  z.next_in = idat.data();
  z.avail_in = static_cast<uInt>(idat.size());
  z.next_out = raw.data();
  z.avail_out = static_cast<uInt>(raw.size());
  inflate(&z, Z_NO_FLUSH);
  const int wholeRows = static_cast<int>(z.total_out / rowLength);
  inflateEnd(&z);
  ASSERT_GE(wholeRows, faultRow);
  ASSERT_LT(wholeRows, height);

  struct Row {
    const char* Name;
    std::function<void(std::vector<std::uint8_t>&)> Damage;
    int Intact;
  };
  const Row rows[] = {
      {"unknown filter type", [&](std::vector<std::uint8_t>& b) { b[filterByte] = 9; }, faultRow},
      {"data ending after a chunk", [&](std::vector<std::uint8_t>& b) { b.resize(cut); }, wholeRows},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    std::vector<std::uint8_t> damaged = bytes;
    r.Damage(damaged);
    Stream stream = StreamOf(damaged.data(), static_cast<std::int64_t>(damaged.size()));
    TZelPNG png;
    EXPECT_EQ(MessageOf([&] { png.LoadFromStream(stream.get()); }), "Read Image (PNG): Read Error");
    TBitmap* image = png.CurrentImage();
    ASSERT_EQ(image->Height(), height);
    int intact = 0;
    while (intact < height && std::memcmp(image->ScanLine(intact), bitmap->ScanLine(intact), width * 3) == 0) ++intact;
    EXPECT_EQ(intact, r.Intact);
  }
}

TEST(ZelPNGLoad, InterlaceComesBackFromAPlainLoadButNotFromStoredData) {
  struct Row { const char* File; std::uint8_t Before, AfterLoad; } rows[] = {{"basi0g08.png", 0, 1}, {"basn0g08.png", 1, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.File);
    TMemoryStream file;
    LoadFile(file, row.File);
    TZelPNG loaded, stored;
    loaded.Interlace = stored.Interlace = row.Before;
    loaded.LoadFromStream(&file);
    Rewind(file);
    stored.ReadStoredData(&file);
    EXPECT_EQ(loaded.Interlace, row.AfterLoad);
    EXPECT_EQ(stored.Interlace, row.Before);
    EXPECT_EQ(ImageBytes(stored), ImageBytes(loaded));
  }
}

TEST(ZelPNGLoad, LoadsGoToTheExternalBitmapsAndStoredDataLetThemGo) {
  auto externalImage = std::make_unique<TBitmap>();
  auto externalAlpha = std::make_unique<TBitmap>();
  {
    TZelPNG png;
    TMemoryStream file;
    LoadFile(file, "basn6a08.png");
    png.LoadFromStream(&file);  // fills the own alpha bitmap
    png.ExternalImage = externalImage.get();
    png.ExternalAlpha = externalAlpha.get();
    Rewind(file);
    png.LoadFromStream(&file);
    EXPECT_EQ(externalImage->Width(), 32);
    EXPECT_EQ(externalAlpha->PixelFormat(), pf8bit);
    EXPECT_EQ(externalAlpha->Width(), 32);

    // The own alpha bitmap was emptied even though the external one took the alpha.
    png.ExternalAlpha = nullptr;
    EXPECT_TRUE(png.CurrentAlpha()->Empty());

    // Stored data always load into the own bitmaps; the external ones are dropped.
    auto before = ScanBytes(*externalImage);
    png.ExternalAlpha = externalAlpha.get();
    TMemoryStream other;
    LoadFile(other, "basn0g08.png");
    png.ReadStoredData(&other);
    EXPECT_EQ(png.ExternalImage, nullptr);
    EXPECT_EQ(png.ExternalAlpha, nullptr);
    EXPECT_EQ(png.CurrentImage()->PixelFormat(), pf8bit);
    EXPECT_EQ(ScanBytes(*externalImage), before);

    // Stored data written from an empty own image are nothing, whatever is external.
    TZelPNG fresh;
    fresh.ExternalImage = externalImage.get();
    TMemoryStream stored;
    fresh.WriteStoredData(&stored);
    EXPECT_EQ(stored.Size(), 0);
  }
  // The graphic never frees what it does not own.
  EXPECT_EQ(externalImage->Height(), 32);
  EXPECT_FALSE(externalAlpha->Empty());
}

TEST(ZelPNGLoad, StoredDataRoundTripWithTheWritersDefaults) {
  auto bitmap = MakeBitmap(pf24bit, 11, 7);
  TZelPNG png;
  png.Assign(bitmap.get());
  png.Interlace = 1;
  png.Comment = "stored";
  TMemoryStream stored;
  png.WriteStoredData(&stored);
  EXPECT_EQ(InterlaceByte(stored), 0);
  Rewind(stored);
  TZelPNG back;
  back.ReadStoredData(&stored);
  EXPECT_EQ(ImageBytes(back), ScanBytes(*bitmap));
  EXPECT_EQ(back.Comment, "stored\r\n");
}

TEST(ZelPNGLoad, NewGraphicSavesNothingAndTheWriterRefusesItsEmptyImage) {
  TZelPNG png;
  TMemoryStream stream;
  EXPECT_THROW(png.SaveToStream(&stream), EZelPNG);
  EXPECT_EQ(stream.Size(), 0);
  png.WriteStoredData(&stream);
  EXPECT_EQ(stream.Size(), 0);
}

// ------------------------------------------------------------------------------ notifications

TEST(ZelPNGNotify, EveryLoadOrAssignmentRaisesOneChangeAndTakesTheImagesTransparency) {
  auto plain = MakeBitmap(pf24bit, 4, 4);
  auto transparent = MakeBitmap(pf24bit, 4, 4);
  transparent->SetTransparent(true);
  TMemoryStream transparentFile;
  LoadFile(transparentFile, "tbrn2c08.png");
  TMemoryStream plainFile;
  LoadFile(plainFile, "basn2c08.png");

  struct Row {
    const char* Name;
    std::function<void(TZelPNG&)> Action;
    int Changes;
    bool Transparent;
  };
  const Row rows[] = {
      {"load", [&](TZelPNG& p) { Rewind(plainFile); p.LoadFromStream(&plainFile); }, 1, false},
      {"load with tRNS", [&](TZelPNG& p) { Rewind(transparentFile); p.LoadFromStream(&transparentFile); }, 1, true},
      {"stored data (one more at the end)", [&](TZelPNG& p) { Rewind(plainFile); p.ReadStoredData(&plainFile); }, 2,
       false},
      {"bitmap", [&](TZelPNG& p) { p.Assign(plain.get()); }, 1, false},
      {"transparent bitmap", [&](TZelPNG& p) { p.Assign(transparent.get()); }, 1, true},
      {"graphic",
       [&](TZelPNG& p) {
         TZelPNG other;
         other.Assign(transparent.get());
         p.Assign(&other);
       },
       1, true},
      {"clipboard",
       [&](TZelPNG& p) {
         WORD format = 0;
         HANDLE data = 0;
         HPALETTE palette = 0;
         plain->SaveToClipboardFormat(format, data, palette);
         p.LoadFromClipboardFormat(format, data, palette);
         GlobalFree(data);
       },
       1, false},
      {"width of an empty image", [&](TZelPNG& p) { p.SetWidth(20); }, 1, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    TZelPNG png;
    int changes = 0;
    png.OnChange = [&](TObject*) { ++changes; };
    row.Action(png);
    EXPECT_EQ(changes, row.Changes);
    EXPECT_EQ(png.Transparent(), row.Transparent);
    EXPECT_EQ(png.CurrentImage()->Transparent(), row.Transparent);
  }
}

TEST(ZelPNGNotify, SizeChangesResizeOnlyBitmapsThatHoldAPicture) {
  TZelPNG png;
  png.SetWidth(10);
  png.SetHeight(10);
  EXPECT_EQ(png.Width(), 0);
  EXPECT_EQ(png.Height(), 0);

  auto bitmap = MakeBitmap(pf24bit, 4, 4);
  png.Assign(bitmap.get());
  png.SetWidth(6);
  png.SetHeight(3);
  EXPECT_EQ(png.Width(), 6);
  EXPECT_EQ(png.Height(), 3);
  EXPECT_TRUE(png.CurrentAlpha()->Empty());

  LoadSuiteFile(png, "basn6a08.png");
  png.SetWidth(8);
  EXPECT_EQ(png.CurrentAlpha()->Width(), 8);
  EXPECT_EQ(png.CurrentImage()->Width(), 8);
}

// ------------------------------------------------------------------------------ progress

TEST(ZelPNGProgress, IsLentToTheImageAndAlwaysGivenBack) {
  auto bitmap = MakeBitmap(pf24bit, 40, 40);
  Stream file = Encode(bitmap.get());

  struct Row { const char* Name; bool Save, Raise; } rows[] = {
      {"load", false, false}, {"load that raises", false, true}, {"save", true, false}, {"save that raises", true, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    TZelPNG png;
    png.Assign(bitmap.get());
    TBitmap* image = png.CurrentImage();
    int own = 0;
    image->OnProgress = [&](TObject*, TProgressStage, std::uint8_t, bool, const TRect&, const std::string&) { ++own; };
    std::vector<int> seen;
    png.OnProgress = [&](TObject* sender, TProgressStage, std::uint8_t percent, bool, const TRect&,
                         const std::string&) {
      EXPECT_EQ(sender, image);
      seen.push_back(percent);
      if (row.Raise && percent > 50) throw EAbort("stop");
    };
    TMemoryStream out;
    Rewind(*file);
    const std::string message = MessageOf([&] { row.Save ? png.SaveToStream(&out) : png.LoadFromStream(file.get()); });
    EXPECT_EQ(message, row.Raise ? "stop" : "(nothing raised)");
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    if (!row.Raise) {
      EXPECT_EQ(seen.back(), 100);
    }
    EXPECT_EQ(own, 0);
    ASSERT_TRUE(image->OnProgress);
    image->OnProgress(image, psEnding, 100, false, TRect{}, "");
    EXPECT_EQ(own, 1);
  }
}

// ------------------------------------------------------------------------------ files and the loader

class ZelPNGFiles : public core_test::ScratchTest {
protected:
  std::string Path(const std::string& name) const { return folder.Path(name); }
  std::size_t Entries() const { return folder.Names().size(); }
};

TEST_F(ZelPNGFiles, ARefusedSaveLeavesNoFileAndNoOldFileDamaged) {
  auto bitmap = MakeBitmap(pf24bit, 5, 5);
  TZelPNG png;
  png.Assign(bitmap.get());
  png.IdatSize = 10;
  EXPECT_THROW(png.SaveToFileName(Path("new.png")), EZelPNG);
  EXPECT_EQ(Entries(), 0u);

  core_test::WriteAll(Path("old.png"), "old contents");
  EXPECT_THROW(png.SaveToFile(Path("old.png")), EZelPNG);
  EXPECT_EQ(core_test::ReadAll(Path("old.png")), "old contents");
  EXPECT_EQ(Entries(), 1u);

  png.IdatSize = 256;
  png.SaveToFile(Path("old.png"));
  TZelPNG back;
  back.LoadFromFile(Path("old.png"));
  EXPECT_EQ(ImageBytes(back), ScanBytes(*bitmap));
}

// A file is read through a buffer that is refilled as it goes; image data chunks of every
// size straddle its refills and must come out whole.
TEST_F(ZelPNGFiles, LargeFilesReadBackWholeWhateverTheChunkSize) {
  auto bitmap = MakeBitmap(pf24bit, 300, 300);
  for (int y = 0; y < 300; ++y) std::memcpy(bitmap->ScanLine(y), &y, sizeof y);
  for (const std::int32_t idatSize : {256, 1000, 32768, 100000}) {
    SCOPED_TRACE(idatSize);
    TZelPNG png;
    png.Assign(bitmap.get());
    png.CompressionLevel = 0;  // stored data: far more than one buffer of file
    png.IdatSize = idatSize;
    png.SaveToFile(Path("large.png"));
    ASSERT_GT(std::filesystem::file_size(Path("large.png")), 200000u);
    TZelPNG back;
    back.LoadFromFile(Path("large.png"));
    EXPECT_EQ(ImageBytes(back), ScanBytes(*bitmap));
  }
}

TEST_F(ZelPNGFiles, ThePictureLoaderReadsAnyCaseOfTheExtensionThroughTheGraphic) {
  ZelPNG_Initialize();
  ZelPNG_Initialize();
  auto bitmap = MakeBitmap(pf24bit, 13, 2);
  TZelPNG png;
  png.Assign(bitmap.get());
  png.SaveToFile(Path("x.Png"));
  TPicture picture;
  picture.LoadFromFile(Path("x.Png"));
  auto* loaded = dynamic_cast<TZelPNG*>(picture.Graphic());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(ImageBytes(*loaded), ScanBytes(*bitmap));
}

TEST(ZelPNGRegistration, EachHappensOncePerProcess) {
  ZelPNG_Initialize();
  EXPECT_EQ(FindPictureFormat("png"), ClassOf<TZelPNG>());
  // Finalisation is tried in a child process so that the other tests keep the format.
  EXPECT_EXIT(
      {
        ZelPNG_Finalize();
        const bool gone = FindPictureFormat("PNG") == nullptr;
        ZelPNG_Initialize();
        ZelPNG_Finalize();
        std::exit(gone && FindPictureFormat("png") == nullptr ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// ------------------------------------------------------------------------------ threads

// The bytes one load and save from memory makes of a PNG through the graphic and of a BMP
// through TBitmap.
std::vector<std::uint8_t> RoundTrip(TMemoryStream& png, TMemoryStream& bmp) {
  Rewind(png);
  Rewind(bmp);
  TZelPNG picture;
  picture.LoadFromStream(&png);
  picture.UseCurrentTime = false;
  TMemoryStream out;
  picture.SaveToStream(&out);
  TBitmap bitmap;
  bitmap.LoadFromStream(&bmp);
  bitmap.SaveToStream(&out);
  return Bytes(out);
}

// Each thread holds pictures of its own; the devices' handle tables and the palettes'
// owners are all they share, and each thread's files come out as they do on one thread.
TEST(ZelPNGThreads, SeparatePicturesOnSeparateThreadsComeOutAsOnOne) {
  constexpr int Threads = 4, Rounds = 150;
  struct Work {
    Stream png;
    TMemoryStream bmp;
    std::vector<std::uint8_t> alone;
    int differing = 0;
    std::string failure;
  };
  std::vector<Work> work(Threads);
  for (int t = 0; t < Threads; ++t) {
    // Indexed pictures bring palettes, and their owners, into every load.
    work[t].png = Encode(MakeBitmap(t % 2 == 0 ? pf8bit : pf24bit, 61 + t, 47, t).get());
    MakeBitmap(pf8bit, 33 + t, 21, 10 + t)->SaveToStream(&work[t].bmp);
    work[t].alone = RoundTrip(*work[t].png, work[t].bmp);
  }
  std::vector<std::thread> threads;
  for (Work& w : work) {
    threads.emplace_back([&w] {
      TMemoryStream png;
      png.Write(w.png->Memory(), w.png->Size());
      TMemoryStream bmp;
      bmp.Write(w.bmp.Memory(), w.bmp.Size());
      try {
        for (int round = 0; round < Rounds; ++round) w.differing += RoundTrip(png, bmp) != w.alone;
      } catch (const Exception& e) {
        w.failure = e.Message;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < Threads; ++t) {
    EXPECT_EQ(work[t].failure, "") << "thread " << t;
    EXPECT_EQ(work[t].differing, 0) << "thread " << t;
  }
}

}  // namespace
