// Small pieces both composers' windows are built from.
#pragma once

#include <memory>

#include "classlib/forms/controls.h"
#include "classlib/graphics.h"

class TComboBox;
class TOpenDialog;
class TPanel;
class TSaveDialog;

// A colour swatch: fuchsia at start, the colour dialog on a click.
TPanel* NewColourPanel(TWinControl* parent, const char* name, int left, int top, int width, int height,
                       TNotifyEvent onClick);

// A drop-down list of the named colours, without free text; it reports the user's choice.
TComboBox* NewNamedColourCombo(TWinControl* parent, const char* name, int left, int top, int width,
                               TNotifyEvent onChange);

// The open dialog's picture filter and the save dialog's filter and default extension.
void SetUpPictureDialogs(TOpenDialog* od, TSaveDialog* sd);

// A working bitmap as the window starts with it: empty, 24 bits per pixel.
std::unique_ptr<TBitmap> NewWorkingBitmap();
