// TPicture and the picture loader's registry.

#include "core_test_support.h"

namespace {

// A graphic of its own class: one byte of "pixels" that is its width.
class TFakeGraphic : public TGraphic {
public:
  CLASSLIB_CLASS(TFakeGraphic)
  static const char* StaticClassName() { return "TFakeGraphic"; }
  void Assign(TPersistent* source) override {
    if (auto* fake = dynamic_cast<TFakeGraphic*>(source)) {
      width_ = fake->width_;
      NotifyChanged();
      return;
    }
    TGraphic::Assign(source);
  }
  void AssignTo(TPersistent* dest) override {
    if (auto* bitmap = dynamic_cast<TBitmap*>(dest)) {
      bitmap->SetSize(width_, 1);
      return;
    }
    TGraphic::AssignTo(dest);
  }
  void SetWidth(int width) override {
    width_ = width;
    NotifyChanged();
  }
  void SetImageHeight(int) override {}
  void LoadFromStream(TStream* stream) override {
    BYTE b = 0;
    stream->ReadBuffer(&b, 1);
    width_ = b;
  }
  void SaveToStream(TStream* stream) override {
    const BYTE b = static_cast<BYTE>(width_);
    stream->WriteBuffer(&b, 1);
  }
  void LoadFromClipboardFormat(WORD, HANDLE, HPALETTE) override {}
  void SaveToClipboardFormat(WORD&, HANDLE&, HPALETTE&) override {}
  void DrawOnCanvas(TCanvas*, const TRect&) override {}

protected:
  bool GetEmpty() const override { return width_ == 0; }
  int GetWidth() const override { return width_; }
  int GetHeight() const override { return 1; }

private:
  int width_ = 0;
};

using PictureFiles = core_test::ScratchTest;

// Leaves the registry as the test found it.
struct FakeRegistration {
  ~FakeRegistration() { UnregisterPictureFormat(ClassOf<TFakeGraphic>()); }
};

TEST(PictureRegistry, ExtensionsIgnoreCaseAndTheLatestRegistrationWins) {
  FakeRegistration cleanup;
  EXPECT_EQ(FindPictureFormat("bmp"), ClassOf<TBitmap>());
  EXPECT_EQ(FindPictureFormat(".BMP"), ClassOf<TBitmap>());
  EXPECT_EQ(FindPictureFormat("fake"), nullptr);

  RegisterPictureFormat(".FaKe", "Fake pictures", ClassOf<TFakeGraphic>());
  RegisterPictureClipboardFormat(0x4242, ClassOf<TFakeGraphic>());
  for (const char* e : {"fake", "FAKE", ".fAkE"}) EXPECT_EQ(FindPictureFormat(e), ClassOf<TFakeGraphic>()) << e;
  EXPECT_EQ(FindPictureClipboardFormat(0x4242), ClassOf<TFakeGraphic>());

  RegisterPictureFormat("Bmp", "Fake bitmaps", ClassOf<TFakeGraphic>());
  EXPECT_EQ(FindPictureFormat("bmp"), ClassOf<TFakeGraphic>());

  UnregisterPictureFormat(ClassOf<TFakeGraphic>());
  EXPECT_EQ(FindPictureFormat("bmp"), ClassOf<TBitmap>());
  EXPECT_EQ(FindPictureFormat("fake"), nullptr);
  EXPECT_EQ(FindPictureClipboardFormat(0x4242), nullptr);
}

TEST(Picture, UnknownExtensionIsRefusedWithTheLoadersText) {
  TPicture picture;
  EXPECT_EQ(core_test::Raised([&] { picture.LoadFromFile("/tmp/a.b/picture.XyZ"); }),
            "EInvalidGraphic: 拡張子 .XyZ の画像形式は処理できません");
  EXPECT_EQ(core_test::Raised([&] { picture.LoadFromFile("/tmp/a.b/noextension"); }),
            "EInvalidGraphic: 拡張子 . の画像形式は処理できません");
}

TEST_F(PictureFiles, LoadByTheRegisteredClassAndKeepTheOldGraphicOnFailure) {
  FakeRegistration cleanup;
  RegisterPictureFormat("fake", "Fake pictures", ClassOf<TFakeGraphic>());
  core_test::WriteAll(folder.Path("one.FAKE"), std::string(1, '\x07'));
  core_test::WriteAll(folder.Path("broken.bmp"), "BM broken");

  TPicture picture;
  int changes = 0;
  picture.OnChange = [&changes](TObject*) { ++changes; };
  picture.LoadFromFile(folder.Path("one.FAKE"));
  EXPECT_EQ(picture.Graphic()->ClassName(), "TFakeGraphic");
  EXPECT_EQ(picture.Width(), 7);
  EXPECT_EQ(changes, 1);

  EXPECT_THROW(picture.LoadFromFile(folder.Path("broken.bmp")), EInvalidGraphic);
  EXPECT_EQ(picture.Graphic()->ClassName(), "TFakeGraphic");
  EXPECT_EQ(picture.Width(), 7);
  EXPECT_THROW(picture.LoadFromFile(folder.Path("missing.bmp")), EFOpenError);
  EXPECT_EQ(changes, 1);

  // The held graphic's own changes reach the picture's OnChange.
  picture.Graphic()->SetWidth(9);
  EXPECT_EQ(changes, 2);
}

TEST_F(PictureFiles, SaveAndLoadABitmap) {
  TPicture picture;
  picture.Bitmap()->SetPixelFormat(pf8bit);
  picture.Bitmap()->SetSize(3, 2);
  picture.Bitmap()->Canvas()->SetPixels(2, 1, clRed);
  picture.SaveToFile(folder.Path("p.Bmp"));
  TPicture loaded;
  loaded.LoadFromFile(folder.Path("p.Bmp"));
  auto* bitmap = dynamic_cast<TBitmap*>(loaded.Graphic());
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->PixelFormat(), pf8bit);
  EXPECT_EQ(bitmap->Canvas()->Pixels(2, 1), clRed);
  EXPECT_EQ(loaded.Width(), 3);
  EXPECT_EQ(loaded.Height(), 2);
}

TEST(Picture, SetGraphicKeepsAnIndependentCopyOfTheSameClass) {
  FakeRegistration cleanup;
  RegisterPictureFormat("fake", "Fake pictures", ClassOf<TFakeGraphic>());
  TFakeGraphic fake;
  fake.SetWidth(4);
  TPicture picture;
  picture.SetGraphic(&fake);
  ASSERT_NE(picture.Graphic(), &fake);
  EXPECT_EQ(picture.Graphic()->ClassName(), "TFakeGraphic");
  fake.SetWidth(5);
  EXPECT_EQ(picture.Width(), 4);

  // Bitmap() turns a picture of another class into an empty bitmap.
  TBitmap* bitmap = picture.Bitmap();
  EXPECT_TRUE(bitmap->Empty());
  EXPECT_EQ(picture.Graphic(), bitmap);
  EXPECT_EQ(picture.Bitmap(), bitmap);

  TBitmap source;
  source.SetSize(2, 2);
  picture.SetGraphic(&source);
  source.Canvas()->SetPixels(0, 0, clWhite);
  EXPECT_EQ(picture.Bitmap()->Canvas()->Pixels(0, 0), clBlack);
  picture.SetGraphic(nullptr);
  EXPECT_EQ(picture.Graphic(), nullptr);
  EXPECT_EQ(picture.Width(), 0);
}

TEST(Picture, AssignAndAssignTo) {
  FakeRegistration cleanup;
  RegisterPictureFormat("fake", "Fake pictures", ClassOf<TFakeGraphic>());
  TPicture a;
  a.Bitmap()->SetSize(3, 1);
  a.Bitmap()->Canvas()->SetPixels(1, 0, clAqua);
  TPicture b;
  b.Assign(&a);
  ASSERT_NE(b.Graphic(), a.Graphic());
  EXPECT_EQ(b.Bitmap()->Canvas()->Pixels(1, 0), clAqua);

  TBitmap target;
  a.AssignTo(&target);  // a graphic destination takes the picture's graphic
  EXPECT_EQ(target.Canvas()->Pixels(1, 0), clAqua);
  TBitmap viaBitmap;
  viaBitmap.Assign(&a);
  EXPECT_EQ(viaBitmap.Width(), 3);

  TFakeGraphic fake;
  fake.SetWidth(6);
  b.Assign(&fake);
  EXPECT_EQ(b.Graphic()->ClassName(), "TFakeGraphic");
  TBitmap fromFake;
  fromFake.Assign(b.Graphic());  // any other graphic assigns itself to the bitmap
  EXPECT_EQ(fromFake.Width(), 6);

  b.Assign(nullptr);
  EXPECT_EQ(b.Graphic(), nullptr);
  TCanvas notAGraphic;
  EXPECT_THROW(a.AssignTo(&notAGraphic), EConvertError);
}

}  // namespace
