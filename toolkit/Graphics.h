// Colours and fonts as the forms framework describes them, with their texts.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/Base.h"
#include "platform/SmallSet.h"

namespace kv {

// A colour as 0x00BBGGRR; a system colour as 0xFF000000 | its system index;
// clNone and clDefault are special values.
using TColor = std::int32_t;

constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF,
                 clMoneyGreen = 0xC0DCC0, clSkyBlue = 0xF0CAA6, clCream = 0xF0FBFF, clMedGray = 0xA4A0A0,
                 clNone = 0x1FFFFFFF, clDefault = 0x20000000;

constexpr TColor SystemColor(int index) { return static_cast<TColor>(0xFF000000u | static_cast<std::uint32_t>(index)); }
constexpr TColor clScrollBar = SystemColor(0), clBackground = SystemColor(1), clActiveCaption = SystemColor(2),
                 clInactiveCaption = SystemColor(3), clMenu = SystemColor(4), clWindow = SystemColor(5),
                 clWindowFrame = SystemColor(6), clMenuText = SystemColor(7), clWindowText = SystemColor(8),
                 clCaptionText = SystemColor(9), clActiveBorder = SystemColor(10),
                 clInactiveBorder = SystemColor(11), clAppWorkSpace = SystemColor(12),
                 clHighlight = SystemColor(13), clHighlightText = SystemColor(14), clBtnFace = SystemColor(15),
                 clBtnShadow = SystemColor(16), clGrayText = SystemColor(17), clBtnText = SystemColor(18),
                 clInactiveCaptionText = SystemColor(19), clBtnHighlight = SystemColor(20),
                 cl3DDkShadow = SystemColor(21), cl3DLight = SystemColor(22), clInfoText = SystemColor(23),
                 clInfoBk = SystemColor(24), clHotLight = SystemColor(26),
                 clGradientActiveCaption = SystemColor(27), clGradientInactiveCaption = SystemColor(28),
                 clMenuHighlight = SystemColor(29), clMenuBar = SystemColor(30);

// The identifier of a colour that has one (clWindowText), else nothing.
std::optional<String> ColorToIdent(TColor c);
// The colour of an identifier, ignoring letter case, else nothing.
std::optional<TColor> IdentToColor(StringView ident);

enum class TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };

using TFontStyles = TSmallSet<TFontStyle>;

enum class TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };

// DEFAULT_CHARSET: the character set of the user's locale.
constexpr int DEFAULT_CHARSET = 1;

// A font's description: face, size in points, styles, colour, character
// set and pitch.
struct TFont {
  String Name = u"Tahoma";
  int Size = 8;
  // When not 0 it replaces Size: negative, the character height in pixels;
  // positive, the cell height (as the platform's LOGFONT).
  int Height = 0;
  TFontStyles Style;
  TColor Color = clWindowText;
  int Charset = DEFAULT_CHARSET;
  TFontPitch Pitch = TFontPitch::fpDefault;
  bool operator==(const TFont&) const = default;
};

// An icon, known by the window system's handle of it (0: none). The handle
// belongs to whoever made the icon; copies share it.
class TIcon {
 public:
  std::uintptr_t Handle() const { return FHandle; }
  void SetHandle(std::uintptr_t h) { FHandle = h; }
  bool Empty() const { return FHandle == 0; }
  void Assign(const TIcon& Source) { FHandle = Source.FHandle; }

 private:
  std::uintptr_t FHandle = 0;
};

}  // namespace kv
