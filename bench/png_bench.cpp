// The PNG codec against libpng and against zlib alone, in one run, on generated pictures:
// a 4096×4096 24-bit photo-like image, a 2048×2048 8-bit palette image, a 2048×2048 RGBA
// Adam7 image, and a 256×256 8-bit palette image, the size of a chipset or a character
// sheet. Both codecs encode with the defaults (zlib's default level, no row filter); both
// decode the file the codec writes with those defaults. zlib alone inflates that file's
// IDAT stream and deflates its raw rows: the floor that no PNG codec built on zlib can go
// below.
//
// A small picture's time is mostly the fixed cost of a load or a save, which depends on
// the state of the heap: a large case that ran before would have left it grown. So the
// small case runs first, on its own, before a large picture exists.
//
// The codec's rows carry the counters ratio_vs_libpng (and ratio_vs_zlib): the row's time
// divided by the median time of the peer, so that the median row gives the ratio of the
// medians. Every row carries faults: minor page faults per picture, counted over the
// timed loads or saves after a first one. After the tables one line per case and
// direction repeats
//   decode|encode CASE ratio_vs_libpng=R [ratio_vs_zlib=Z] faults_zelpng=F faults_libpng=G
// (times are process CPU time, kernel time for page faults included, which other work on
// a busy machine disturbs less than the wall clock; the median of the repetitions counts).
#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "classlib/graphics.h"
#include "classlib/streams.h"
#include "png/SFunc.h"
#include "png/ZelPNG.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Deterministic noise, the same on every run.
struct Noise {
  std::uint32_t State = 0x2545F491u;
  int operator()(int spread) {
    State ^= State << 13;
    State ^= State >> 17;
    State ^= State << 5;
    return static_cast<int>(State % static_cast<std::uint32_t>(2 * spread + 1)) - spread;
  }
};

std::uint8_t Clamp(double v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// One test picture in both codecs' terms.
struct Case {
  std::string Name;
  int Width = 0;
  int Height = 0;
  int Channels = 0;      // of libpng's rows: 1 (palette index), 3 (RGB) or 4 (RGBA)
  bool Adam7 = false;
  Bytes Rows;            // libpng's input, top-down, packed
  std::vector<png_color> Palette;
  std::unique_ptr<TZelPNG> Graphic;  // holds the same picture, with alpha where there is one
  Bytes File;            // what TZelPNG writes with its defaults: the decode input of both
  Bytes Idat;            // that file's compressed image data
  Bytes Raw;             // that data inflated: filter bytes and rows
};

// ------------------------------------------------------------------------------ libpng

struct Sink {
  Bytes* Out;
};

void EncodeWithLibpng(const Case& c, Bytes& out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng could not encode");
  }
  Sink sink{&out};
  png_set_write_fn(
      png, &sink,
      [](png_structp p, png_bytep data, png_size_t n) {
        Bytes& o = *static_cast<Sink*>(png_get_io_ptr(p))->Out;
        o.insert(o.end(), data, data + n);
      },
      nullptr);
  const int type = c.Channels == 1 ? PNG_COLOR_TYPE_PALETTE : c.Channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA;
  png_set_IHDR(png, info, static_cast<png_uint_32>(c.Width), static_cast<png_uint_32>(c.Height), 8, type,
               c.Adam7 ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (c.Channels == 1) png_set_PLTE(png, info, c.Palette.data(), static_cast<int>(c.Palette.size()));
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_compression_level(png, Z_DEFAULT_COMPRESSION);
  png_write_info(png, info);
  std::vector<png_bytep> rows(static_cast<std::size_t>(c.Height));
  const std::size_t stride = static_cast<std::size_t>(c.Width) * static_cast<std::size_t>(c.Channels);
  for (int y = 0; y < c.Height; ++y)
    rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(c.Rows.data() + stride * static_cast<std::size_t>(y));
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
}

struct Source {
  const Bytes* Data;
  std::size_t At;
};

// Decodes into a fresh pixel buffer, as a load into a new picture does.
std::unique_ptr<std::uint8_t[]> DecodeWithLibpng(const Bytes& file) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::unique_ptr<std::uint8_t[]> pixels;
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw std::runtime_error("libpng could not decode");
  }
  Source source{&file, 0};
  png_set_read_fn(png, &source, [](png_structp p, png_bytep out, png_size_t n) {
    auto* s = static_cast<Source*>(png_get_io_ptr(p));
    if (s->At + n > s->Data->size()) png_error(p, "past the end");
    std::memcpy(out, s->Data->data() + s->At, n);
    s->At += n;
  });
  png_read_info(png, info);
  if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const std::size_t stride = png_get_rowbytes(png, info);
  const std::size_t height = png_get_image_height(png, info);
  pixels.reset(new std::uint8_t[stride * height]);
  rows.resize(height);
  for (std::size_t y = 0; y < height; ++y) rows[y] = pixels.get() + stride * y;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return pixels;
}

// ------------------------------------------------------------------------------ zlib alone

Bytes IdatOf(const Bytes& file) {
  Bytes idat;
  std::size_t at = 8;
  while (at + 12 <= file.size()) {
    const std::uint32_t length = (std::uint32_t{file[at]} << 24) | (std::uint32_t{file[at + 1]} << 16) |
                                 (std::uint32_t{file[at + 2]} << 8) | file[at + 3];
    if (std::memcmp(&file[at + 4], "IDAT", 4) == 0)
      idat.insert(idat.end(), file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                  file.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    at += 12 + std::size_t{length};
  }
  return idat;
}

std::size_t Inflate(const Bytes& in, std::uint8_t* out, std::size_t room) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw std::runtime_error("inflateInit");
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out;
  z.avail_out = static_cast<uInt>(room);
  const int status = inflate(&z, Z_FINISH);
  const std::size_t produced = room - z.avail_out;
  inflateEnd(&z);
  if (status != Z_STREAM_END) throw std::runtime_error("inflate");
  return produced;
}

std::size_t Deflate(const Bytes& in, Bytes& out) {
  z_stream z{};
  if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) throw std::runtime_error("deflateInit");
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&z, Z_FINISH);
  const std::size_t produced = out.size() - z.avail_out;
  deflateEnd(&z);
  if (status != Z_STREAM_END) throw std::runtime_error("deflate");
  return produced;
}

// ------------------------------------------------------------------------------ the pictures

Bytes SaveWithGraphic(TZelPNG& graphic) {
  TMemoryStream stream;
  graphic.SaveToStream(&stream);
  const auto* p = static_cast<const std::uint8_t*>(stream.Memory());
  return Bytes(p, p + stream.Size());
}

void Finish(Case& c) {
  c.File = SaveWithGraphic(*c.Graphic);
  c.Idat = IdatOf(c.File);
  // Filter bytes and rows never exceed this; the exact size is what inflate returns.
  const std::size_t room = static_cast<std::size_t>(c.Height) * 2 * (static_cast<std::size_t>(c.Width) * 4 + 1) + 64;
  c.Raw.resize(room);
  c.Raw.resize(Inflate(c.Idat, c.Raw.data(), room));
}

// Smooth gradients and broad waves with a little noise, as a photograph has.
void PhotoPixel(int x, int y, int width, int height, Noise& noise, std::uint8_t rgb[3]) {
  const double fx = x / double(width), fy = y / double(height);
  const double wave = 40 * std::sin(fx * 9.0 + fy * 4.0) + 30 * std::cos(fy * 7.0 - fx * 3.0);
  rgb[0] = Clamp(200 * fx + 30 + wave + noise(6));
  rgb[1] = Clamp(180 * fy + 40 - 0.5 * wave + noise(6));
  rgb[2] = Clamp(120 * (1 - fx * fy) + 60 + 0.8 * wave + noise(6));
}

std::unique_ptr<Case> MakePhoto() {
  auto c = std::make_unique<Case>();
  c->Name = "photo24";
  c->Width = c->Height = 4096;
  c->Channels = 3;
  c->Rows.resize(std::size_t{4096} * 4096 * 3);
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(c->Width, c->Height);
  Noise noise;
  for (int y = 0; y < c->Height; ++y) {
    auto* line = static_cast<std::uint8_t*>(bitmap.ScanLine(y));
    std::uint8_t* rgb = c->Rows.data() + std::size_t{4096} * 3 * static_cast<std::size_t>(y);
    for (int x = 0; x < c->Width; ++x, rgb += 3, line += 3) {
      PhotoPixel(x, y, c->Width, c->Height, noise, rgb);
      line[0] = rgb[2];
      line[1] = rgb[1];
      line[2] = rgb[0];
    }
  }
  c->Graphic = std::make_unique<TZelPNG>();
  c->Graphic->Assign(&bitmap);
  Finish(*c);
  return c;
}

// Flat areas, stripes and scattered specks over a 256-entry palette, as pixel art has.
std::unique_ptr<Case> MakePalette(const char* name, int size) {
  auto c = std::make_unique<Case>();
  c->Name = name;
  c->Width = c->Height = size;
  c->Channels = 1;
  const auto side = static_cast<std::size_t>(size);
  c->Rows.resize(side * side);
  RGBQUAD quads[256];
  for (int i = 0; i < 256; ++i) {
    const auto r = static_cast<std::uint8_t>(i * 37), g = static_cast<std::uint8_t>(i * 91 + 11),
               b = static_cast<std::uint8_t>(255 - i);
    quads[i] = RGBQUAD{b, g, r, 0};
    c->Palette.push_back(png_color{r, g, b});
  }
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf8bit);
  bitmap.SetSize(c->Width, c->Height);
  bitmap.SetPalette(CreatePaletteFromQuads(quads, 256));
  Noise noise;
  for (int y = 0; y < c->Height; ++y) {
    auto* line = static_cast<std::uint8_t*>(bitmap.ScanLine(y));
    std::uint8_t* row = c->Rows.data() + side * static_cast<std::size_t>(y);
    for (int x = 0; x < c->Width; ++x) {
      int index = ((x >> 4) * 13 + (y >> 4) * 7) & 0xFF;
      if (((x + y) & 31) < 3) index = (index + 128) & 0xFF;
      if (noise(50) == 0) index = noise(127) + 128;
      row[x] = line[x] = static_cast<std::uint8_t>(index);
    }
  }
  c->Graphic = std::make_unique<TZelPNG>();
  c->Graphic->Assign(&bitmap);
  Finish(*c);
  return c;
}

// A photo with soft-edged transparent discs; the graphic gets it (and its alpha, and the
// interlace setting) by loading libpng's file, the only way a graphic comes to hold alpha.
std::unique_ptr<Case> MakeRgbaAdam7() {
  auto c = std::make_unique<Case>();
  c->Name = "rgba_adam7";
  c->Width = c->Height = 2048;
  c->Channels = 4;
  c->Adam7 = true;
  c->Rows.resize(std::size_t{2048} * 2048 * 4);
  Noise noise;
  for (int y = 0; y < c->Height; ++y) {
    std::uint8_t* px = c->Rows.data() + std::size_t{2048} * 4 * static_cast<std::size_t>(y);
    for (int x = 0; x < c->Width; ++x, px += 4) {
      PhotoPixel(x, y, c->Width, c->Height, noise, px);
      const double dx = (x % 512) - 256.0, dy = (y % 512) - 256.0;
      const double d = std::sqrt(dx * dx + dy * dy);
      px[3] = Clamp(d < 150 ? 0 : d > 220 ? 255 : (d - 150) * 255 / 70);
    }
  }
  Bytes file;
  EncodeWithLibpng(*c, file);
  TMemoryStream stream;
  stream.Write(file.data(), static_cast<std::int64_t>(file.size()));
  stream.SetPosition(0);
  c->Graphic = std::make_unique<TZelPNG>();
  c->Graphic->LoadFromStream(&stream);
  if (!c->Graphic->HasAlpha() || c->Graphic->Interlace != 1) throw std::runtime_error("RGBA set-up");
  Finish(*c);
  return c;
}

// ------------------------------------------------------------------------------ benchmarks

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

// One picture's work once untimed, then the timed loop; the page faults of the loop,
// per picture, become the counter faults.
template <class Work>
void Measure(benchmark::State& state, Work work) {
  work();
  const long before = MinorFaults();
  for (auto _ : state) work();
  state.counters["faults"] = static_cast<double>(MinorFaults() - before) / static_cast<double>(state.iterations());
}

void DecodeZel(benchmark::State& state, const Case* c) {
  TMemoryStream stream;
  stream.Write(c->File.data(), static_cast<std::int64_t>(c->File.size()));
  Measure(state, [&] {
    TZelPNG graphic;
    stream.SetPosition(0);
    graphic.LoadFromStream(&stream);
    benchmark::DoNotOptimize(graphic.CurrentImage()->ScanLine(0));
  });
}

void DecodeLibpng(benchmark::State& state, const Case* c) {
  Measure(state, [&] {
    auto pixels = DecodeWithLibpng(c->File);
    benchmark::DoNotOptimize(pixels.get());
  });
}

void DecodeZlib(benchmark::State& state, const Case* c) {
  Bytes out(c->Raw.size());
  Measure(state, [&] { benchmark::DoNotOptimize(Inflate(c->Idat, out.data(), out.size())); });
}

void EncodeZel(benchmark::State& state, const Case* c) {
  TMemoryStream stream;
  Measure(state, [&] {
    stream.SetSize(0);
    c->Graphic->SaveToStream(&stream);
    benchmark::DoNotOptimize(stream.Memory());
  });
}

void EncodeLibpng(benchmark::State& state, const Case* c) {
  Bytes out;
  out.reserve(c->File.size() * 2);
  Measure(state, [&] {
    out.clear();
    EncodeWithLibpng(*c, out);
    benchmark::DoNotOptimize(out.data());
  });
}

void EncodeZlib(benchmark::State& state, const Case* c) {
  Bytes out(deflateBound(nullptr, static_cast<uLong>(c->Raw.size())));
  Measure(state, [&] { benchmark::DoNotOptimize(Deflate(c->Raw, out)); });
}

using Body = void (*)(benchmark::State&, const Case*);
struct Codec {
  const char* Direction;
  const char* Name;
  Body Run;
};
constexpr Codec Codecs[] = {
    {"decode", "zelpng", DecodeZel}, {"decode", "libpng", DecodeLibpng}, {"decode", "zlib", DecodeZlib},
    {"encode", "zelpng", EncodeZel}, {"encode", "libpng", EncodeLibpng}, {"encode", "zlib", EncodeZlib},
};

void Register(const Case& c, benchmark::TimeUnit unit) {
  for (const Codec& codec : Codecs) {
    const std::string name = std::string(codec.Direction) + "/" + c.Name + "/" + codec.Name;
    benchmark::RegisterBenchmark(name.c_str(), codec.Run, &c)->Unit(unit)->ReportAggregatesOnly(false);
  }
}

// Holds every benchmark's rows back until a run of benchmarks is over, so that the codec's
// rows can carry their ratios to the peers' medians; the median of a benchmark's
// repetitions stands for it, so that one lucky or unlucky spell moves nothing.
class MedianTimes : public benchmark::ConsoleReporter {
public:
  MedianTimes() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    held_.push_back(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      times_[run.run_name.function_name].push_back(run.GetAdjustedCPUTime());
      faults_[run.run_name.function_name].push_back(run.counters.at("faults").value);
    }
  }
  void Finalize() override {
    for (std::vector<Run>& runs : held_) {
      for (Run& run : runs) {
        const std::string& name = run.run_name.function_name;
        const std::size_t slash = name.rfind('/');
        if (name.compare(slash + 1, std::string::npos, "zelpng") != 0 || run.aggregate_unit != benchmark::kTime) continue;
        for (const char* peer : {"libpng", "zlib"}) {
          const double time = Median(times_, name.substr(0, slash + 1) + peer);
          if (time > 0) run.counters[std::string("ratio_vs_") + peer] = run.GetAdjustedCPUTime() / time;
        }
      }
      ConsoleReporter::ReportRuns(runs);
    }
    held_.clear();
    ConsoleReporter::Finalize();
  }
  // 0 when the benchmark did not run.
  double Time(const std::string& name) { return Median(times_, name); }
  double Faults(const std::string& name) { return Median(faults_, name); }

private:
  using Values = std::map<std::string, std::vector<double>>;
  static double Median(Values& values, const std::string& name) {
    auto found = values.find(name);
    if (found == values.end() || found->second.empty()) return 0;
    std::vector<double>& t = found->second;
    std::sort(t.begin(), t.end());
    const std::size_t n = t.size();
    return n % 2 ? t[n / 2] : (t[n / 2 - 1] + t[n / 2]) / 2;
  }

  std::vector<std::vector<Run>> held_;
  Values times_;
  Values faults_;
};

void PrintRatios(MedianTimes& reporter, const std::vector<std::unique_ptr<Case>>& cases) {
  for (const char* direction : {"decode", "encode"}) {
    for (const auto& c : cases) {
      const std::string stem = std::string(direction) + "/" + c->Name + "/";
      const double zel = reporter.Time(stem + "zelpng");
      const double lib = reporter.Time(stem + "libpng");
      const double zlib = reporter.Time(stem + "zlib");
      if (zel <= 0 || lib <= 0) continue;
      std::printf("%s %s ratio_vs_libpng=%.3f", direction, c->Name.c_str(), zel / lib);
      if (zlib > 0) std::printf(" ratio_vs_zlib=%.3f", zel / zlib);
      std::printf(" faults_zelpng=%.3f faults_libpng=%.3f\n", reporter.Faults(stem + "zelpng"),
                  reporter.Faults(stem + "libpng"));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Seven repetitions of every benchmark, run interleaved in random order, so that a slow
  // spell of the machine does not fall on one codec only; flags on the command line still win.
  std::vector<char*> args(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  char repetitions[] = "--benchmark_repetitions=7";
  args.insert(args.begin() + 1, {interleave, repetitions});
  argc = static_cast<int>(args.size());
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  MedianTimes reporter;
  // The small case first, in a run of its own, while the heap is still as a fresh process has it.
  std::vector<std::unique_ptr<Case>> small;
  small.push_back(MakePalette("palette256", 256));
  Register(*small[0], benchmark::kMicrosecond);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::ClearRegisteredBenchmarks();
  std::fflush(stdout);

  std::vector<std::unique_ptr<Case>> cases;
  cases.push_back(MakePhoto());
  cases.push_back(MakePalette("palette8", 2048));
  cases.push_back(MakeRgbaAdam7());
  for (const auto& c : cases) Register(*c, benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  PrintRatios(reporter, small);
  PrintRatios(reporter, cases);
  return 0;
}
