#include "toolkit/Canvas.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace kv {

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  // Halves round away from zero, as the platform's.
  const long long r = std::llround(static_cast<long double>(a) * b / c);
  // A result that does not fit is -1, as with the platform's.
  if (r < INT_MIN || r > INT_MAX) return -1;
  return static_cast<int>(r);
}

// --- Bitmaps ------------------------------------------------------------------

TBitmap::TBitmap(int width, int height, std::uint32_t fill)
    : FWidth(std::max(0, width)), FHeight(std::max(0, height)),
      FPixels(static_cast<std::size_t>(FWidth) * static_cast<std::size_t>(FHeight), fill) {}

void TBitmap::UseBottomLeftAsTransparent() {
  if (Empty()) return;
  Transparent = true;
  TransparentColor = Pixel(0, FHeight - 1);
}

TBitmap TBitmap::Section(int left, int top, int width, int height) const {
  TBitmap r(width, height);
  r.Transparent = Transparent;
  r.TransparentColor = TransparentColor;
  for (int y = 0; y < r.FHeight; ++y)
    for (int x = 0; x < r.FWidth; ++x) {
      const int sx = left + x, sy = top + y;
      r.SetPixel(x, y, sx >= 0 && sy >= 0 && sx < FWidth && sy < FHeight ? Pixel(sx, sy) : TransparentColor);
    }
  return r;
}

TBitmap TBitmap::Scaled(int width, int height) const {
  TBitmap r(width, height);
  r.Transparent = Transparent;
  r.TransparentColor = TransparentColor;
  if (Empty()) return r;
  for (int y = 0; y < r.FHeight; ++y)
    for (int x = 0; x < r.FWidth; ++x) r.SetPixel(x, y, Pixel(x * FWidth / r.FWidth, y * FHeight / r.FHeight));
  return r;
}

std::string EncodeBmp(const TBitmap& b) {
  const int w = b.Width(), h = b.Height();
  const int stride = (w * 3 + 3) / 4 * 4;
  const std::uint32_t dataSize = static_cast<std::uint32_t>(stride) * static_cast<std::uint32_t>(h);
  std::string out;
  auto u16 = [&](std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
  };
  auto u32 = [&](std::uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  out += "BM";
  u32(54 + dataSize);
  u32(0);
  u32(54);
  u32(40);
  u32(static_cast<std::uint32_t>(w));
  u32(static_cast<std::uint32_t>(h));
  u16(1);
  u16(24);
  u32(0);
  u32(dataSize);
  u32(2835);
  u32(2835);
  u32(0);
  u32(0);
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t p = b.Pixel(x, y);
      out += static_cast<char>(p & 0xFF);
      out += static_cast<char>((p >> 8) & 0xFF);
      out += static_cast<char>((p >> 16) & 0xFF);
    }
    out.append(static_cast<std::size_t>(stride - w * 3), '\0');
  }
  return out;
}

TBitmap DecodeBmp(std::string_view bytes) {
  auto u16 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
  };
  auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
  std::size_t info = 0, pixels = 0;
  if (bytes.size() >= 14 && bytes[0] == 'B' && bytes[1] == 'M') {
    info = 14;
    pixels = u32(10);
  }
  if (bytes.size() < info + 40) throw EInvalidGraphic(u"Bitmap image is not valid");
  const std::uint32_t headerSize = u32(info);
  const auto width = static_cast<std::int32_t>(u32(info + 4));
  const auto height = static_cast<std::int32_t>(u32(info + 8));
  const std::uint32_t bits = u16(info + 14), compression = u32(info + 16);
  if (headerSize < 40 || (bits != 24 && bits != 32) || (compression != 0 && compression != 3) || width <= 0 ||
      height == 0 || width > 16384 || height > 16384 || height < -16384)
    throw EInvalidGraphic(u"Bitmap image is not valid");
  if (info == 0) pixels = headerSize + (compression == 3 ? 12 : 0);
  const int h = height < 0 ? -height : height;
  const std::size_t stride = (static_cast<std::size_t>(width) * bits / 8 + 3) / 4 * 4;
  if (pixels > bytes.size() || bytes.size() - pixels < stride * static_cast<std::size_t>(h))
    throw EInvalidGraphic(u"Bitmap image is not valid");
  TBitmap b(width, h);
  for (int y = 0; y < h; ++y) {
    const std::size_t row = pixels + stride * static_cast<std::size_t>(height < 0 ? y : h - 1 - y);
    for (int x = 0; x < width; ++x) {
      const std::size_t p = row + static_cast<std::size_t>(x) * bits / 8;
      b.SetPixel(x, y, static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[p + 2])) << 16 |
                           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[p + 1])) << 8 |
                           static_cast<unsigned char>(bytes[p]));
    }
  }
  return b;
}

int TImageList::AddStrip(const TBitmap& strip) {
  if (FWidth <= 0 || FHeight <= 0) return 0;
  const int n = strip.Width() / FWidth;
  for (int i = 0; i < n; ++i) FImages.push_back(strip.Section(i * FWidth, 0, FWidth, FHeight));
  return n;
}

const TBitmap& TImageList::Image(int index) const {
  CheckListIndex(index, Count());
  return FImages[static_cast<std::size_t>(index)];
}

// --- Colours ------------------------------------------------------------------

std::uint32_t ColorToRGB(TColor c) {
  // The classic scheme's system colours, so drawing looks the same wherever
  // it runs.
  static constexpr std::uint32_t kSystem[] = {
      0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000, 0x000000, 0x000000,
      0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x3399FF, 0xFFFFFF, 0xF0F0F0, 0xA0A0A0, 0x6D6D6D, 0x000000, 0x434E54,
      0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000, 0xFFFFE1, 0xB5B5B5, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x3399FF,
      0xF0F0F0};
  const auto u = static_cast<std::uint32_t>(c);
  std::uint32_t bgr;
  if ((u & 0xFF000000u) == 0xFF000000u) {
    const std::uint32_t i = u & 0xFFu;
    return i < std::size(kSystem) ? kSystem[i] : 0;
  }
  if (c == clNone || c == clDefault) return 0xFFFFFF;
  bgr = u & 0xFFFFFFu;
  return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

// --- Text layout ----------------------------------------------------------------

int TCanvas::FontPixelHeight() const {
  if (Font.Height < 0) return -Font.Height;
  if (Font.Height > 0) return Font.Height * 10 / 12;  // cell height less the internal leading
  return std::max(1, MulDiv(Font.Size, PixelsPerInch(), 72));
}

std::vector<String> TCanvas::WrapLines(StringView text, int width) {
  std::vector<String> lines;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find_first_of(u"\r\n", start);
    const StringView para = text.substr(start, end == StringView::npos ? StringView::npos : end - start);
    if (width <= 0) {
      lines.emplace_back(para);
    } else {
      // Greedy: as many words as fit; a word longer than the width stands alone.
      std::size_t pos = 0;
      do {
        std::size_t lineEnd = pos, next = pos;
        while (next < para.size()) {
          std::size_t wordEnd = para.find(u' ', next);
          if (wordEnd == StringView::npos) wordEnd = para.size();
          if (lineEnd > pos && TextWidth(para.substr(pos, wordEnd - pos)) > width) break;
          lineEnd = wordEnd;
          next = wordEnd < para.size() ? wordEnd + 1 : wordEnd;
        }
        lines.emplace_back(para.substr(pos, lineEnd - pos));
        pos = next;
        while (pos < para.size() && para[pos] == u' ') ++pos;
      } while (pos < para.size());
    }
    if (end == StringView::npos) break;
    start = end + (text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n' ? 2 : 1);
  }
  return lines;
}

String TCanvas::EllipsisText(StringView text, int width, bool ForceMark) {
  if (!ForceMark && TextWidth(text) <= width) return String(text);
  // The longest start that fits with the mark; found by halving, so a long
  // text costs a few dozen measurements, not one per character.
  std::size_t lo = 0, hi = text.size();
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo + 1) / 2;
    if (TextWidth(String(text.substr(0, mid)) + u"...") <= width)
      lo = mid;
    else
      hi = mid - 1;
  }
  return String(text.substr(0, lo)) + u"...";
}

TRect TCanvas::TextRect(const TRect& r, StringView text, const TTextFormat& format) {
  std::vector<String> lines = format.WordWrap ? WrapLines(text, r.Width()) : WrapLines(text, 0);
  const int lineHeight = TextHeight(u"Ag");
  if (format.EndEllipsis && !format.CalcRect) {
    const int fit = std::max(1, r.Height() / std::max(1, lineHeight));
    if (static_cast<int>(lines.size()) > fit) {
      lines.resize(static_cast<std::size_t>(fit));
      // The last line kept shows that more text follows.
      lines.back() = EllipsisText(lines.back(), r.Width(), true);
    }
    for (String& l : lines) l = EllipsisText(l, r.Width());
  }
  int widest = 0;
  for (const String& l : lines) widest = std::max(widest, TextWidth(l));
  const int total = lineHeight * static_cast<int>(lines.size());
  TRect used = Bounds(r.Left, r.Top, widest, total);
  if (format.CalcRect) return used;
  int y = format.VerticalCenter ? r.Top + (r.Height() - total) / 2 : r.Top;
  SetClip(&r);
  for (const String& l : lines) {
    int x = r.Left;
    if (format.Align == TTextFormat::Center) x = r.Left + (r.Width() - TextWidth(l)) / 2;
    if (format.Align == TTextFormat::Right) x = r.Right - TextWidth(l);
    TextOut(x, y, l);
    y += lineHeight;
  }
  SetClip(nullptr);
  return used;
}

// --- Offset canvas ------------------------------------------------------------------

TOffsetCanvas::TOffsetCanvas(TCanvas& inner, TPoint offset) : FInner(inner), FOffset(offset) {
  Font = inner.Font;
  BrushColor = inner.BrushColor;
  PenColor = inner.PenColor;
}

void TOffsetCanvas::Sync() {
  FInner.Font = Font;
  FInner.BrushColor = BrushColor;
  FInner.PenColor = PenColor;
}

TSize TOffsetCanvas::TextExtent(StringView text) {
  Sync();
  return FInner.TextExtent(text);
}
void TOffsetCanvas::TextOut(int x, int y, StringView text) {
  Sync();
  FInner.TextOut(x + FOffset.X, y + FOffset.Y, text);
}
void TOffsetCanvas::FillRect(const TRect& r) {
  Sync();
  FInner.FillRect(Moved(r));
}
void TOffsetCanvas::FrameRect(const TRect& r) {
  Sync();
  FInner.FrameRect(Moved(r));
}
void TOffsetCanvas::RoundRect(const TRect& r, int radius) {
  Sync();
  FInner.RoundRect(Moved(r), radius);
}
void TOffsetCanvas::Line(TPoint from, TPoint to) {
  Sync();
  FInner.Line({from.X + FOffset.X, from.Y + FOffset.Y}, {to.X + FOffset.X, to.Y + FOffset.Y});
}
void TOffsetCanvas::Draw(int x, int y, const TBitmap& bitmap) { FInner.Draw(x + FOffset.X, y + FOffset.Y, bitmap); }
void TOffsetCanvas::SetClip(const TRect* r) {
  if (!r) return FInner.SetClip(nullptr);
  const TRect m = Moved(*r);
  FInner.SetClip(&m);
}

}  // namespace kv
