#include "png/ZelPNGStream_Common.h"

#include "classlib/gdi.h"

std::int32_t Adam7PassWidth(std::int32_t pass, std::int32_t width) {
  if (pass < 0 || pass > 6 || width <= 0) return 0;
  const Adam7Pass& p = Adam7Passes[pass];
  if (width <= p.StartColumn) return 0;
  return static_cast<std::int32_t>((static_cast<std::int64_t>(width) - p.StartColumn + p.ColumnStep - 1) /
                                   p.ColumnStep);
}

std::int32_t Adam7PassHeight(std::int32_t pass, std::int32_t height) {
  if (pass < 0 || pass > 6 || height <= 0) return 0;
  const Adam7Pass& p = Adam7Passes[pass];
  if (height <= p.StartRow) return 0;
  return static_cast<std::int32_t>((static_cast<std::int64_t>(height) - p.StartRow + p.RowStep - 1) / p.RowStep);
}

std::int32_t InterlacedRowCount(std::int32_t interlace, std::int32_t height) {
  if (interlace != 1) return height;
  const std::int64_t h = height;
  std::int64_t rows = 2 * ((h + 7) / 8) + (h + 3) / 4 + (h + 1) / 2;
  if (h >= 5) rows += (h + 3) / 8;
  if (h >= 3) rows += (h + 1) / 4;
  if (h >= 2) rows += h / 2;
  return static_cast<std::int32_t>(rows);
}

std::int32_t GreyLevel(std::int32_t bits, TColor colour) {
  const std::int32_t g = GreyFromRgb(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
  if (bits == 1) return g >= 128 ? 1 : 0;
  if (bits == 4) return g >> 4;
  return g;
}

void CaptureCurrentTime(PngTimeRecord& record) {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  record.Year = now.wYear;
  record.Month = static_cast<std::uint8_t>(now.wMonth);
  record.Day = static_cast<std::uint8_t>(now.wDay);
  record.Hour = static_cast<std::uint8_t>(now.wHour);
  record.Minute = static_cast<std::uint8_t>(now.wMinute);
  record.Second = static_cast<std::uint8_t>(now.wSecond);
}
