#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rangeview/chart/Surface.h"

namespace rv {

enum class TSurfaceOp : std::uint8_t {
    SetPen,
    SetBrush,
    SetFont,
    SetBkMode,
    SetBkColor,
    SetTextAlign,
    TextOut,
    MoveTo,
    LineTo,
    Rectangle,
    FillRect,
    SetClip,
    RemoveClip,
    CreateImage,
    DrawImage
};

// One call made on a recording surface, with the state that was in force for drawing calls.
struct TSurfaceRecord {
    TSurfaceOp Op = TSurfaceOp::MoveTo;
    // 0: the surface itself; 1, 2, ...: the n-th image it created.
    std::int32_t Layer = 0;
    std::int32_t X = 0;
    std::int32_t Y = 0;
    TRect Rect;
    std::string Text;
    TPenData Pen;
    TBrushData Brush;
    TFontData Font;
    TBkMode BkMode = TBkMode::bkOpaque;
    TColor BkColor = clWhite;
    THorizTextAlign HAlign = THorizTextAlign::taLeft;
    TVertTextAlign VAlign = TVertTextAlign::taTop;
    bool Clipped = false;
    TRect Clip;
};

// A drawn line piece: from (X0, Y0) to (X1, Y1), end pixel excluded.
struct TRecordedSegment {
    std::int32_t Layer = 0;
    std::int32_t X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
    TPenData Pen;
    bool Clipped = false;
    TRect Clip;
};

// Drawing surface for tests: records every call instead of drawing. Text is measured with a
// fixed fake font: CharWidth pixels per character (UTF-8 code point), FontHeight pixels high,
// whatever font is selected. Images it creates record into the same log.
class TRecordingSurface : public TSurface {
public:
    explicit TRecordingSurface(std::int32_t charWidth = 6, std::int32_t fontHeight = 12);
    ~TRecordingSurface() override;

    // Shared by this surface and the images it made.
    const std::vector<TSurfaceRecord>& Records() const { return Log_->Records; }
    void ClearRecords() { Log_->Records.clear(); }
    // Only the calls of one kind.
    std::vector<TSurfaceRecord> Calls(TSurfaceOp op) const;
    // Lines as drawn: each LineTo from the pen position before it.
    std::vector<TRecordedSegment> Segments() const;
    // Whether state changes (SetPen ... SetTextAlign) are logged; drawing calls always are.
    bool RecordStateChanges = true;

    std::int32_t CharWidth;
    std::int32_t FixedFontHeight;

    // --- TSurface ---------------------------------------------------------------------------
    void SetPen(const TPenData& pen) override;
    void SetBrush(const TBrushData& brush) override;
    void SetFont(const TFontData& font) override;
    void SetBkMode(TBkMode mode) override;
    void SetBkColor(TColor color) override;
    void SetTextAlign(THorizTextAlign horiz, TVertTextAlign vert) override;
    std::int32_t TextWidth(std::string_view text) override;
    std::int32_t FontHeight() override;
    void TextOut(std::int32_t x, std::int32_t y, std::string_view text) override;
    void MoveTo(std::int32_t x, std::int32_t y) override;
    void LineTo(std::int32_t x, std::int32_t y) override;
    void Rectangle(const TRect& r) override;
    void FillRect(const TRect& r) override;
    void SetClipRect(const TRect& r) override;
    void RemoveClip() override;
    std::unique_ptr<TSurfaceImage> CreateImage(std::int32_t width, std::int32_t height) override;
    void DrawImage(TSurfaceImage& image, std::int32_t x, std::int32_t y) override;

    // Current state, for tests.
    const TPenData& Pen() const { return Pen_; }
    const TBrushData& Brush() const { return Brush_; }
    const TFontData& Font() const { return Font_; }
    TPoint PenPos() const { return Pos_; }
    bool Clipped() const { return Clipped_; }
    const TRect& Clip() const { return Clip_; }
    std::int32_t Layer() const { return Layer_; }

private:
    struct Log {
        std::vector<TSurfaceRecord> Records;
        std::int32_t ImagesCreated = 0;
    };
    class Image;
    TRecordingSurface(std::shared_ptr<Log> log, std::int32_t layer, std::int32_t charWidth,
                      std::int32_t fontHeight);
    TSurfaceRecord& Add(TSurfaceOp op, bool stateChange);

    std::shared_ptr<Log> Log_;
    // Where unlogged state changes go.
    TSurfaceRecord Discarded_;
    std::int32_t Layer_ = 0;
    TPenData Pen_;
    TBrushData Brush_;
    TFontData Font_;
    TBkMode BkMode_ = TBkMode::bkOpaque;
    TColor BkColor_ = clWhite;
    THorizTextAlign HAlign_ = THorizTextAlign::taLeft;
    TVertTextAlign VAlign_ = TVertTextAlign::taTop;
    TPoint Pos_;
    bool Clipped_ = false;
    TRect Clip_;
};

// Number of code points in UTF-8 text.
std::int32_t Utf8Length(std::string_view text);

} // namespace rv
