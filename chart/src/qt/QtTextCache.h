#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QString>

#include <array>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rangeview/chart/CacheBudget.h"
#include "rangeview/chart/Pens.h"

namespace rv {

namespace pixelcache {
struct DeviceGrid;
}

// The texts a QtSurface measures and draws, kept per font: each text's width, measured once,
// and the pixels it became where it was drawn, copied instead of drawn again where the same
// pixels lie under it (axis labels and the title come back on every frame). QtSurface owns one;
// its entries share the chart's cache budget, which drops the texts not used for the longest
// (new sample numbers keep coming).
class QtTextCache {
public:
    // A text as drawn once at some position: the block of pixels it can touch, what was under
    // it and what it became. Drawing the same text where the same pixels lie under it gives the
    // same block again, whatever the text rendering (grey or subpixel antialiasing).
    struct TextBlock {
        // Device pixels relative to the device start of the period of the text's top-left
        // corner.
        QRect Area;
        bool Usable = false;
        bool Filled = false;
        std::vector<QRgb> Before;
        std::vector<QRgb> After;
    };

    // A text as measured, and as last drawn, in one font.
    struct TextInfo : TCacheBudget::Entry {
        explicit TextInfo(TCacheBudget::Holder* holder) : TCacheBudget::Entry(holder) { }
        // The font's key for it.
        const std::string* Key = nullptr;
        QString String;
        int Width = 0;
        // Drawn in this colour.
        QRgb BlockColor = 0;
        // By phase on the device grid (one at a ratio of 1).
        std::vector<TextBlock> Blocks;
        std::uint64_t Draws = 0;
    };

    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const
        {
            return std::hash<std::string_view>{}(s);
        }
    };
    using TextMap = std::unordered_map<std::string, TextInfo, TextHash, std::equal_to<>>;

    // One font as QPainter needs it, with the texts measured and drawn in it.
    struct FontEntry final : TCacheBudget::Holder {
        FontEntry(const TFontData& shape, const QFont& font);
        TFontData Shape;
        QFont Font;
        QFontMetrics Metrics;
        // Asked on every text drawn; Qt answers them through its font cache each time.
        int Height = 0;
        int Ascent = 0;
        TextMap Texts;
        // The entry and the map's buckets, which stay while texts come and go.
        TCacheBudget::Entry Fixed;

        void ChargeFixed();
        void Evict(TCacheBudget::Entry& entry) override;
        // The width of a number's text from the sum of its characters' advances, where that
        // is what the shaper would answer; -1 otherwise (other characters, or a font that kerns
        // or joins them).
        int NumberWidth(std::string_view text);

    private:
        // What axis labels are written with; a thousands separator other than these (a space)
        // takes the shaper.
        static constexpr std::string_view NumberChars = "0123456789-+.,";
        // Qt adds advances in 1/64 pixel and rounds the sum half up.
        static int WholePixels(int sum64) { return (sum64 + 32) >> 6; }
        // Whether this font's number characters add up (found out on first use).
        bool NumbersAddUp();
        // Per character of NumberChars in 1/64 pixel, once NumbersAddUp has looked: then 1,
        // else 0.
        std::array<int, NumberChars.size()> NumberAdvance_{};
        int NumbersAdd_ = -1;
    };

    QtTextCache();
    ~QtTextCache();
    QtTextCache(const QtTextCache&) = delete;
    QtTextCache& operator=(const QtTextCache&) = delete;

    // The desktop's fonts or their rendering (hinting, grey or subpixel antialiasing) may have
    // changed: every cache of the process starts over at its next Renew.
    static void ForgetAll();
    // Starts over after ForgetAll; true then, and a font has to be selected again.
    bool Renew();

    // Makes the font of this shape (name, height, style) the one texts are found in, made by
    // `make` on first use.
    const FontEntry& Select(const TFontData& shape, QFont (*make)(const TFontData&));
    // The text's entry in the selected font (measured on first use); null without one.
    TextInfo* Find(std::string_view text);
    // Draws the text with its top-left corner at `at` in this colour: from its block, or with p,
    // filling the block. False when the block cannot stand for it here (then nothing is drawn):
    // the first time a text is drawn, or where its block would reach outside `writable`.
    bool Draw(QPainter& p, QImage& image, TextInfo& info, QPoint at, const QColor& color,
              const pixelcache::DeviceGrid& grid, const QRect& writable);

private:
    // Fonts in use, made once each (the title's and the labels' alternate on every draw).
    std::vector<std::unique_ptr<FontEntry>> Fonts_;
    FontEntry* Font_ = nullptr;
    std::uint64_t Generation_;
};

} // namespace rv
