// Drawing: bitmaps, image lists, and the canvas that controls paint on. A
// window system supplies the canvas's primitives (text extent and output,
// rectangles, lines, bitmaps); wrapping, ellipses and alignment are written
// once here on top of them, so every window system lays text out alike.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/Graphics.h"
#include "toolkit/Types.h"

namespace kv {

// 0x00RRGGBB pixels, top row first.
class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height, std::uint32_t fill = 0);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }
  std::uint32_t Pixel(int x, int y) const { return FPixels[static_cast<std::size_t>(y * FWidth + x)]; }
  void SetPixel(int x, int y, std::uint32_t rgb) { FPixels[static_cast<std::size_t>(y * FWidth + x)] = rgb; }
  const std::vector<std::uint32_t>& Pixels() const { return FPixels; }

  // Pixels of this colour are not drawn.
  bool Transparent = false;
  std::uint32_t TransparentColor = 0;
  // Takes the transparent colour from the bottom-left pixel.
  void UseBottomLeftAsTransparent();

  // A part of the bitmap, with the same transparency.
  TBitmap Section(int left, int top, int width, int height) const;
  // Scaled to another size (nearest pixel).
  TBitmap Scaled(int width, int height) const;

 private:
  int FWidth = 0, FHeight = 0;
  std::vector<std::uint32_t> FPixels;
};

// The bitmap as the bytes of a 24-bit BMP file (bottom-up rows).
std::string EncodeBmp(const TBitmap& bitmap);
// A bitmap from a BMP file or a packed device-independent bitmap (as
// resources hold them): 24 or 32 bits per pixel, uncompressed, either row
// order. Raises EInvalidGraphic for anything else or cut-off data.
TBitmap DecodeBmp(std::string_view bytes);

KV_DECLARE_EXCEPTION(EInvalidGraphic, Exception)

// Images of one size cut from one bitmap, left to right.
class TImageList {
 public:
  TImageList(int width, int height) : FWidth(width), FHeight(height) {}
  // Adds every whole image of the strip; returns how many.
  int AddStrip(const TBitmap& strip);
  int Count() const { return static_cast<int>(FImages.size()); }
  // Raises EListError outside 0 .. Count - 1.
  const TBitmap& Image(int index) const;
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

 private:
  int FWidth, FHeight;
  std::vector<TBitmap> FImages;
};

enum class TStockIcon : std::uint8_t { Warning, Question, Error, Information };

// Text drawing options of TCanvas::TextRect.
struct TTextFormat {
  bool WordWrap = false;
  // Lines that do not fit end in "..." (and lines beyond the rectangle's
  // height are dropped, the last kept one ending in "...").
  bool EndEllipsis = false;
  enum THAlign : std::uint8_t { Left, Center, Right } Align = Left;
  bool VerticalCenter = false;
  // Only measure: the rectangle of the laid-out text, nothing drawn.
  bool CalcRect = false;
};

class TCanvas {
 public:
  virtual ~TCanvas() = default;

  TFont Font;
  TColor BrushColor = clWhite;
  TColor PenColor = clBlack;

  // Pixels per inch the font sizes are converted with.
  virtual int PixelsPerInch() const { return 96; }
  // The character height of the font in pixels.
  int FontPixelHeight() const;

  // --- Primitives of the window system ---
  // Width and height of one line of text in the current font.
  virtual TSize TextExtent(StringView text) = 0;
  virtual void TextOut(int x, int y, StringView text) = 0;
  virtual void FillRect(const TRect& r) = 0;
  virtual void FrameRect(const TRect& r) = 0;
  virtual void RoundRect(const TRect& r, int radius) = 0;
  virtual void Line(TPoint from, TPoint to) = 0;
  virtual void Draw(int x, int y, const TBitmap& bitmap) = 0;
  // The clip rectangle for what follows; an empty optional removes it.
  virtual void SetClip(const TRect* r) = 0;

  // --- Written once on top of them ---
  int TextWidth(StringView text) { return TextExtent(text).cx; }
  int TextHeight(StringView text) { return TextExtent(text).cy; }
  // The lines of text broken at line breaks and, with a width above 0, at
  // blanks so that each fits the width where a word allows.
  std::vector<String> WrapLines(StringView text, int width);
  // text shortened with "..." so that it fits width; with ForceMark the
  // "..." is added even when text fits (more text follows that is not shown).
  String EllipsisText(StringView text, int width, bool ForceMark = false);
  // Draws (or with CalcRect measures) text in r; returns the rectangle the
  // text takes, starting at r's top left.
  TRect TextRect(const TRect& r, StringView text, const TTextFormat& format);
};

// Draws on another canvas with the origin moved: what a control paints at
// (0, 0) lands at its place on the form.
class TOffsetCanvas final : public TCanvas {
 public:
  TOffsetCanvas(TCanvas& inner, TPoint offset);
  int PixelsPerInch() const override { return FInner.PixelsPerInch(); }
  TSize TextExtent(StringView text) override;
  void TextOut(int x, int y, StringView text) override;
  void FillRect(const TRect& r) override;
  void FrameRect(const TRect& r) override;
  void RoundRect(const TRect& r, int radius) override;
  void Line(TPoint from, TPoint to) override;
  void Draw(int x, int y, const TBitmap& bitmap) override;
  void SetClip(const TRect* r) override;

 private:
  TRect Moved(const TRect& r) const { return {r.Left + FOffset.X, r.Top + FOffset.Y, r.Right + FOffset.X, r.Bottom + FOffset.Y}; }
  void Sync();
  TCanvas& FInner;
  TPoint FOffset;
};

// The font's colour when it is a system colour, resolved by the window
// system; drawing code passes colours through here.
std::uint32_t ColorToRGB(TColor c);

}  // namespace kv
