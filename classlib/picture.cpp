// TPicture and the picture loader's registry of graphic classes.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "classlib/graphics.h"

namespace {

struct FileFormat {
  std::string Extension;
  std::string Description;
  TGraphicClass Class;
};

struct Registry {
  // Newest first, so that the latest registration of an extension is found first.
  std::vector<FileFormat> Files{{"bmp", "Bitmaps", ClassOf<TBitmap>()}};
  std::vector<std::pair<WORD, TGraphicClass>> Clipboard;
  // Every class ever registered, so that a picture can copy a graphic of any of them.
  std::vector<TGraphicClass> Known{ClassOf<TBitmap>()};

  void Remember(TGraphicClass graphicClass) {
    if (std::find(Known.begin(), Known.end(), graphicClass) == Known.end()) Known.push_back(graphicClass);
  }
};

// Never destroyed, so that finalisation code running at exit can still unregister.
// No lock: the registry is written only by the formats' initialisation and finalisation
// calls, at start-up and at exit, and in between every thread only reads it.
Registry& Formats() {
  static Registry* registry = new Registry;
  return *registry;
}

std::string NormalExtension(const std::string& extension) {
  std::string e = !extension.empty() && extension[0] == '.' ? extension.substr(1) : extension;
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

// The extension of a file name without its point, as written; empty when it has none.
std::string ExtensionOf(const std::string& fileName) {
  const std::size_t slash = fileName.find_last_of('/');
  const std::size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return fileName.substr(dot + 1);
}

TGraphicClass ClassNamed(const std::string& name) {
  for (TGraphicClass c : Formats().Known)
    if (name == c->Name) return c;
  return nullptr;
}

}  // namespace

void RegisterPictureFormat(const std::string& extension, const std::string& description, TGraphicClass graphicClass) {
  if (graphicClass == nullptr) return;
  Registry& r = Formats();
  r.Files.insert(r.Files.begin(), FileFormat{NormalExtension(extension), description, graphicClass});
  r.Remember(graphicClass);
}

void UnregisterPictureFormat(TGraphicClass graphicClass) {
  Registry& r = Formats();
  std::erase_if(r.Files, [graphicClass](const FileFormat& f) { return f.Class == graphicClass; });
  std::erase_if(r.Clipboard, [graphicClass](const auto& f) { return f.second == graphicClass; });
}

void RegisterPictureClipboardFormat(WORD format, TGraphicClass graphicClass) {
  if (graphicClass == nullptr) return;
  Registry& r = Formats();
  r.Clipboard.insert(r.Clipboard.begin(), {format, graphicClass});
  r.Remember(graphicClass);
}

TGraphicClass FindPictureFormat(const std::string& extension) {
  const std::string e = NormalExtension(extension);
  for (const FileFormat& f : Formats().Files)
    if (f.Extension == e) return f.Class;
  return nullptr;
}

TGraphicClass FindPictureClipboardFormat(WORD format) {
  for (const auto& f : Formats().Clipboard)
    if (f.first == format) return f.second;
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// TPicture

TPicture::TPicture() = default;

TPicture::~TPicture() {
  if (graphic_) graphic_->OnChange = nullptr;
}

void TPicture::Changed(TObject* /*sender*/) {
  if (OnChange) OnChange(this);
}

void TPicture::Adopt(std::unique_ptr<TGraphic> graphic) {
  if (graphic) {
    graphic->OnChange = [this](TObject* sender) { Changed(sender); };
    graphic->OnProgress = [this](TObject* sender, TProgressStage stage, std::uint8_t percent, bool redraw,
                                 const TRect& rect, const std::string& message) {
      if (OnProgress) OnProgress(sender, stage, percent, redraw, rect, message);
    };
  }
  graphic_ = std::move(graphic);
  Changed(this);
}

void TPicture::SetGraphic(TGraphic* graphic) {
  if (graphic == graphic_.get() && graphic != nullptr) return;
  if (graphic == nullptr) {
    Adopt(nullptr);
    return;
  }
  TGraphicClass graphicClass = ClassNamed(graphic->ClassName());
  if (graphicClass == nullptr) throw EConvertError(Format(SAssignError, {graphic->ClassName(), ClassName()}));
  std::unique_ptr<TGraphic> copy = graphicClass->Create();
  copy->Assign(graphic);
  Adopt(std::move(copy));
}

TBitmap* TPicture::Bitmap() {
  if (dynamic_cast<TBitmap*>(graphic_.get()) == nullptr) Adopt(std::make_unique<TBitmap>());
  return static_cast<TBitmap*>(graphic_.get());
}

int TPicture::Width() const { return graphic_ ? graphic_->Width() : 0; }
int TPicture::Height() const { return graphic_ ? graphic_->Height() : 0; }

void TPicture::LoadFromFile(const std::string& fileName) try {
  const std::string extension = ExtensionOf(fileName);
  TGraphicClass graphicClass = FindPictureFormat(extension);
  if (graphicClass == nullptr) throw EInvalidGraphic(Format(SUnknownExtension, {extension}));
  // The held picture is replaced only once the new one has loaded.
  std::unique_ptr<TGraphic> graphic = graphicClass->Create();
  graphic->OnProgress = [this](TObject* sender, TProgressStage stage, std::uint8_t percent, bool redraw,
                               const TRect& rect, const std::string& message) {
    if (OnProgress) OnProgress(sender, stage, percent, redraw, rect, message);
  };
  graphic->LoadFromFile(fileName);
  Adopt(std::move(graphic));
} catch (...) {
  RethrowLoadFailure();
}

void TPicture::SaveToFile(const std::string& fileName) {
  if (graphic_) graphic_->SaveToFile(fileName);
}

void TPicture::Assign(TPersistent* source) {
  if (source == nullptr) {
    SetGraphic(nullptr);
  } else if (auto* picture = dynamic_cast<TPicture*>(source)) {
    if (picture != this) SetGraphic(picture->Graphic());
  } else if (auto* graphic = dynamic_cast<TGraphic*>(source)) {
    SetGraphic(graphic);
  } else {
    TPersistent::Assign(source);
  }
}

void TPicture::AssignTo(TPersistent* dest) {
  if (auto* graphic = dynamic_cast<TGraphic*>(dest)) {
    graphic->Assign(graphic_.get());
    return;
  }
  TPersistent::AssignTo(dest);
}
