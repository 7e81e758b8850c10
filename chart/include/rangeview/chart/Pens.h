#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "rangeview/chart/Colors.h"

namespace rv {

enum class TPenStyle : std::uint8_t {
    psSolid,
    psDash,
    psDot,
    psDashDot,
    psDashDotDot,
    psClear,
    psInsideFrame
};
enum class TPenMode : std::uint8_t { pmCopy, pmNotXor };
enum class TBrushStyle : std::uint8_t {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross
};

// Font style bits.
enum TFontStyle : std::uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

constexpr std::uint8_t DEFAULT_CHARSET = 1;
// Font sizes in points convert to pixel heights at this resolution.
constexpr std::int32_t ScreenPixelsPerInch = 96;

// Plain values, freely copyable: what a drawing surface needs to select a pen, brush or font.
struct TPenData {
    TColor Color = clBlack;
    std::int32_t Width = 1;
    TPenStyle Style = TPenStyle::psSolid;
    TPenMode Mode = TPenMode::pmCopy;
    bool Visible = true;
    bool SmallDots = false;
    friend bool operator==(const TPenData&, const TPenData&) = default;
};

struct TBrushData {
    TColor Color = clWhite;
    TBrushStyle Style = TBrushStyle::bsSolid;
    friend bool operator==(const TBrushData&, const TBrushData&) = default;
};

struct TFontData {
    std::string Name = "Arial";
    // Negative: character height in pixels (the usual form); positive: cell height.
    std::int32_t Height = -11;
    TColor Color = clBlack;
    std::uint8_t Style = 0; // TFontStyle bits
    std::uint8_t Charset = DEFAULT_CHARSET;
    friend bool operator==(const TFontData&, const TFontData&) = default;
};

// Pen owned by a chart object. Every change of a value calls OnChange (the owner's repaint
// request). Not copyable: owners hand their callbacks to it; use Assign to copy values.
class TChartPen {
public:
    explicit TChartPen(TColor color = clBlack, std::int32_t width = 1,
                       TPenStyle style = TPenStyle::psSolid, bool visible = true);
    virtual ~TChartPen() = default;
    TChartPen(const TChartPen&) = delete;
    TChartPen& operator=(const TChartPen&) = delete;

    void Assign(const TChartPen& source);
    void Assign(const TPenData& data);
    const TPenData& Data() const { return Data_; }

    TColor Color() const { return Data_.Color; }
    void SetColor(TColor value);
    std::int32_t Width() const { return Data_.Width; }
    void SetWidth(std::int32_t value);
    TPenStyle Style() const { return Data_.Style; }
    void SetStyle(TPenStyle value);
    TPenMode Mode() const { return Data_.Mode; }
    void SetMode(TPenMode value);
    bool Visible() const { return Data_.Visible; }
    void SetVisible(bool value);
    bool SmallDots() const { return Data_.SmallDots; }
    void SetSmallDots(bool value);

    std::function<void()> OnChange;

private:
    void Changed();
    TPenData Data_;
};

// Axis line pen: width 2.
class TChartAxisPen : public TChartPen {
public:
    TChartAxisPen() : TChartPen(clBlack, 2) { }
};

// Grid pen: gray, dotted.
class TDottedGrayPen : public TChartPen {
public:
    TDottedGrayPen() : TChartPen(clGray, 1, TPenStyle::psDot) { }
};

// Tick pens: gray.
class TDarkGrayPen : public TChartPen {
public:
    TDarkGrayPen() : TChartPen(clGray) { }
};

// Pen that starts invisible (minor grid).
class TChartHiddenPen : public TChartPen {
public:
    TChartHiddenPen() : TChartPen(clBlack, 1, TPenStyle::psSolid, false) { }
};

// Fill colour and style of a chart part (panel, walls, titles); the painters select it on the
// canvas, its owner hears of changes through OnChange.
class TChartBrush {
public:
    explicit TChartBrush(TColor color = clDefault, TBrushStyle style = TBrushStyle::bsSolid);
    TChartBrush(const TChartBrush&) = delete;
    TChartBrush& operator=(const TChartBrush&) = delete;

    void Assign(const TChartBrush& source);
    const TBrushData& Data() const { return Data_; }

    TColor Color() const { return Data_.Color; }
    void SetColor(TColor value);
    TBrushStyle Style() const { return Data_.Style; }
    void SetStyle(TBrushStyle value);

    std::function<void()> OnChange;

private:
    TBrushData Data_;
};

// Font of a chart text (titles, axis labels); the painters select it on the canvas and
// measure with it, its owner hears of changes through OnChange.
class TChartFont {
public:
    TChartFont();
    TChartFont(const TChartFont&) = delete;
    TChartFont& operator=(const TChartFont&) = delete;

    void Assign(const TChartFont& source);
    void Assign(const TFontData& data);
    const TFontData& Data() const { return Data_; }

    const std::string& Name() const { return Data_.Name; }
    void SetName(const std::string& value);
    std::int32_t Height() const { return Data_.Height; }
    void SetHeight(std::int32_t value);
    // Points at ScreenPixelsPerInch; derived from Height.
    std::int32_t Size() const;
    void SetSize(std::int32_t points);
    TColor Color() const { return Data_.Color; }
    void SetColor(TColor value);
    std::uint8_t Style() const { return Data_.Style; }
    void SetStyle(std::uint8_t value);
    std::uint8_t Charset() const { return Data_.Charset; }
    void SetCharset(std::uint8_t value);

    std::function<void()> OnChange;

private:
    void Changed();
    TFontData Data_;
};

} // namespace rv
