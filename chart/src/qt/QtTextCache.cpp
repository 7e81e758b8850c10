#include "QtTextCache.h"

#include <algorithm>
#include <cmath>

#include "DeviceGrid.h"
#include "DirectPixels.h"

namespace rv {

namespace {

// Advanced by ForgetAll; caches compare it with the one they were made in.
std::uint64_t textGeneration = 0;

std::size_t TextBytes(const QtTextCache::TextInfo& info)
{
    // The map's node: the key, the text, the link to the next node and the hash.
    using Node = QtTextCache::TextMap::value_type;
    const std::size_t key = info.Key && info.Key->capacity() > 15
                                ? TCacheBudget::Allocated(info.Key->capacity() + 1)
                                : 0;
    std::size_t bytes =
        TCacheBudget::Allocated(sizeof(Node) + 2 * sizeof(void*)) + key +
        TCacheBudget::Allocated(32 + 2 * static_cast<std::size_t>(info.String.capacity())) +
        TCacheBudget::Allocated(info.Blocks.capacity() * sizeof(QtTextCache::TextBlock));
    for (const QtTextCache::TextBlock& block : info.Blocks) {
        bytes += TCacheBudget::Allocated(block.Before.capacity() * sizeof(QRgb)) +
                 TCacheBudget::Allocated(block.After.capacity() * sizeof(QRgb));
    }
    return bytes;
}
} // namespace

QtTextCache::FontEntry::FontEntry(const TFontData& shape, const QFont& font)
    : Shape(shape), Font(font), Metrics(font), Height(Metrics.height()), Ascent(Metrics.ascent())
{
    ChargeFixed();
}

bool QtTextCache::FontEntry::NumbersAddUp()
{
    if (NumbersAdd_ >= 0)
        return NumbersAdd_ == 1;
    // Once per font: every character a whole number of 1/64 pixel wide, and every pair (and run
    // of three marks, which a font might join) as wide as its characters, both exactly and as
    // Qt rounds it.
    const QFontMetricsF exact(Font);
    bool add = true;
    for (std::size_t i = 0; i < NumberChars.size() && add; ++i) {
        const qreal a = exact.horizontalAdvance(QString(QChar(NumberChars[i]))) * 64;
        NumberAdvance_[i] = static_cast<int>(std::lround(a));
        add = a == NumberAdvance_[i] && a >= 0 && a <= 64 * 1024;
    }
    for (std::size_t i = 0; i < NumberChars.size() && add; ++i) {
        for (std::size_t j = 0; j < NumberChars.size() && add; ++j) {
            const QString two = QString(QChar(NumberChars[i])) + QChar(NumberChars[j]);
            const int sum = NumberAdvance_[i] + NumberAdvance_[j];
            add = exact.horizontalAdvance(two) * 64 == sum &&
                  Metrics.horizontalAdvance(two) == WholePixels(sum);
            for (std::size_t k = 10; i >= 10 && j >= 10 && k < NumberChars.size() && add; ++k) {
                add = Metrics.horizontalAdvance(two + QChar(NumberChars[k])) ==
                      WholePixels(sum + NumberAdvance_[k]);
            }
        }
    }
    NumbersAdd_ = add ? 1 : 0;
    return add;
}

int QtTextCache::FontEntry::NumberWidth(std::string_view text)
{
    // Labels are short; the cap keeps the sum far from overflowing.
    if (text.empty() || text.size() > 64 ||
        text.find_first_not_of(NumberChars) != std::string_view::npos || !NumbersAddUp()) {
        return -1;
    }
    int sum = 0;
    for (const char c : text)
        sum += NumberAdvance_[NumberChars.find(c)];
    return WholePixels(sum);
}

void QtTextCache::FontEntry::ChargeFixed()
{
    TCacheBudget::Shared().Charge(
        Fixed, TCacheBudget::Allocated(sizeof(FontEntry)) +
                   TCacheBudget::Allocated(Texts.bucket_count() * sizeof(void*)));
}

void QtTextCache::FontEntry::Evict(TCacheBudget::Entry& entry)
{
    Texts.erase(Texts.find(*static_cast<TextInfo&>(entry).Key));
    if (Texts.bucket_count() > 64 && Texts.size() * 8 < Texts.bucket_count()) {
        Texts.rehash(0);
        ChargeFixed();
    }
}

QtTextCache::QtTextCache() : Generation_(textGeneration)
{
}

QtTextCache::~QtTextCache() = default;

void QtTextCache::ForgetAll()
{
    ++textGeneration;
}

bool QtTextCache::Renew()
{
    if (Generation_ == textGeneration)
        return false;
    Generation_ = textGeneration;
    Font_ = nullptr;
    Fonts_.clear();
    return true;
}

const QtTextCache::FontEntry& QtTextCache::Select(const TFontData& shape,
                                                  QFont (*make)(const TFontData&))
{
    auto same = [&](const FontEntry& e) {
        return e.Shape.Name == shape.Name && e.Shape.Height == shape.Height &&
               e.Shape.Style == shape.Style;
    };
    FontEntry* entry = nullptr;
    for (const auto& e : Fonts_) {
        if (same(*e))
            entry = e.get();
    }
    if (!entry) {
        if (Fonts_.size() >= 16) {
            Fonts_.clear();
        }
        Fonts_.push_back(std::make_unique<FontEntry>(shape, make(shape)));
        entry = Fonts_.back().get();
    }
    Font_ = entry;
    return *entry;
}

QtTextCache::TextInfo* QtTextCache::Find(std::string_view text)
{
    if (!Font_)
        return nullptr;
    TCacheBudget& budget = TCacheBudget::Shared();
    auto& texts = Font_->Texts;
    if (auto it = texts.find(text); it != texts.end()) {
        budget.Touch(it->second);
        return &it->second;
    }
    // New sample numbers keep coming; the budget drops the texts not used for the longest.
    const auto buckets = texts.bucket_count();
    const auto it = texts.try_emplace(std::string(text), Font_).first;
    if (texts.bucket_count() != buckets)
        Font_->ChargeFixed();
    TextInfo& info = it->second;
    info.Key = &it->first;
    info.String = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    // A scrolling axis brings new sample numbers all the time: their widths come without the
    // shaper where the font allows.
    const int number = Font_->NumberWidth(text);
    info.Width = number >= 0 ? number : Font_->Metrics.horizontalAdvance(info.String);
    budget.Charge(info, TextBytes(info));
    return &info;
}

bool QtTextCache::Draw(QPainter& p, QImage& image, TextInfo& info, QPoint at, const QColor& color,
                       const pixelcache::DeviceGrid& grid, const QRect& writable)
{
    // A text drawn once may never come again (the labels of a scrolling axis): its block is
    // made when it is drawn a second time.
    if (info.Draws++ == 0)
        return false;
    // The text, its font and its colour decide the block, given the pixels under it.
    const QString& s = info.String;
    const int w = info.Width;
    const QRgb rgb = color.rgb();
    const QFontMetrics& metrics = Font_->Metrics;
    const int left = at.x();
    const int top = at.y();
    const QPoint phase(grid.Phase(left), grid.Phase(top));
    if (info.Blocks.empty())
        info.Blocks.resize(static_cast<std::size_t>(grid.Period * grid.Period));
    TextBlock& block = info.Blocks[static_cast<std::size_t>(phase.y() * grid.Period + phase.x())];
    if (info.BlockColor != rgb) {
        for (TextBlock& b : info.Blocks)
            b.Filled = false;
    }
    info.BlockColor = rgb;
    const QPoint baseline(0, Font_->Ascent);
    if (block.Area.isNull()) {
        // Where the glyphs can reach: their ink on a transparent scratch, widened by the pixel
        // that subpixel antialiasing may add on either side on an opaque image. The scratch
        // has the image's ratio, the text the same phase; pixels count from the period's start.
        const int h = Font_->Height;
        const int pad = (h + 4 + grid.Period - 1) / grid.Period * grid.Period;
        QImage scratch(static_cast<int>(std::ceil((w + 2 * pad + grid.Period) * grid.Ratio)),
                       static_cast<int>(std::ceil((h + 2 * pad + grid.Period) * grid.Ratio)),
                       QImage::Format_ARGB32_Premultiplied);
        scratch.setDevicePixelRatio(grid.Ratio);
        scratch.fill(0);
        {
            QPainter sp(&scratch);
            sp.setRenderHint(QPainter::TextAntialiasing, true);
            sp.setFont(Font_->Font);
            sp.setPen(color);
            sp.drawText(QPoint(pad, pad) + phase + baseline, s);
        }
        const int devicePad = pad / grid.Period * grid.Step;
        // Every new label passes here, so the scan is kept to plain loads and compares.
        const int sw = scratch.width();
        const int sh = scratch.height();
        int inkLeft = sw;
        int inkRight = -1;
        int inkTop = sh;
        int inkBottom = -1;
        for (int y = 0; y < sh; ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(scratch.constScanLine(y));
            for (int x = 0; x < sw; ++x) {
                if (qAlpha(row[x]) == 0)
                    continue;
                inkLeft = std::min(inkLeft, x);
                inkRight = std::max(inkRight, x);
                inkTop = std::min(inkTop, y);
                inkBottom = std::max(inkBottom, y);
            }
        }
        QRect ink;
        if (inkRight >= 0) {
            ink = QRect(QPoint(inkLeft, inkTop), QPoint(inkRight, inkBottom))
                      .translated(-devicePad, -devicePad);
        }
        // Ink on the scratch's border may have been cut off: such a text is not cached.
        const bool edge = inkRight >= 0 && (inkLeft == 0 || inkTop == 0 || inkRight == sw - 1 ||
                                            inkBottom == sh - 1);
        const QRect box = metrics.boundingRect(s).translated(baseline) | QRect(0, 0, 1, 1);
        block.Area = (ink | grid.Fill(box.translated(phase))).adjusted(-1, -1, 1, 1);
        block.Usable = !edge;
    }
    TCacheBudget& budget = TCacheBudget::Shared();
    if (!block.Usable)
        return false;
    const QRect r =
        block.Area.translated(static_cast<int>(grid.Base(left)), static_cast<int>(grid.Base(top)));
    if (!writable.contains(r))
        return false;
    if (block.Filled && pixelcache::Same(image, r, block.Before)) {
        pixelcache::Write(image, r, block.After);
        return true;
    }
    // Both copies of the block must fit the budget beside the rest of the entry.
    const std::size_t pixels =
        static_cast<std::size_t>(r.width()) * static_cast<std::size_t>(r.height());
    if (!budget.Fits(TextBytes(info) + 2 * TCacheBudget::Allocated(pixels * sizeof(QRgb)))) {
        block.Usable = false;
        return false;
    }
    pixelcache::Read(image, r, block.Before);
    p.setFont(Font_->Font);
    p.setPen(color);
    p.drawText(QPoint(left, top) + baseline, s);
    pixelcache::Read(image, r, block.After);
    block.Filled = true;
    budget.Charge(info, TextBytes(info));
    return true;
}

} // namespace rv
