#pragma once
// Pages of text-like lines for the scrolling tests: each line is a row of dark "glyphs" of its own
// length on white, drawn from the line's number, so that lines with the same number look the same
// and any two others differ.
#include <QImage>
#include <QPainter>
#include <random>
#include <string>
#include <vector>

namespace textlines {

constexpr int lineHeight = 12;

// A page whose i-th line shows line number `numbers[i]`.
inline QImage page(const std::vector<int>& numbers, int width)
{
    QImage image(width, int(numbers.size()) * lineHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        std::mt19937 rng(unsigned(numbers[i]) * 7919u + 11u);
        std::uniform_int_distribution<int> gap(2, 9);
        std::uniform_int_distribution<int> glyphWidth(2, 5);
        std::uniform_int_distribution<int> glyphTop(2, 4);
        const int end = std::uniform_int_distribution<int>(width / 3, width - 6)(rng);
        for (int x = 4 + gap(rng); x < end;) {
            const int w = glyphWidth(rng);
            const int top = glyphTop(rng);
            painter.fillRect(x, int(i) * lineHeight + top, w, 9 - top, QColor(40, 40, 40));
            x += w + gap(rng);
        }
    }
    return image;
}

// `count` line numbers from `first` on.
inline std::vector<int> numbered(int first, int count)
{
    std::vector<int> numbers;
    for (int i = 0; i < count; ++i)
        numbers.push_back(first + i);
    return numbers;
}

// `count` times the same line.
inline std::vector<int> repeated(int number, int count)
{
    return std::vector<int>(std::size_t(count), number);
}

inline std::vector<int> operator+(std::vector<int> a, const std::vector<int>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A terminal's bitmap font: each character a fixed pattern of black pixels on white in a cell
// cellWidth × cellHeight. `lines` of it from the left edge of a page `width` wide.
constexpr int cellWidth = 6;
constexpr int cellHeight = 13;
inline QImage bitmapText(const std::vector<std::string>& lines, int width)
{
    QImage image(width, int(lines.size()) * cellHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        for (std::size_t c = 0; c < lines[i].size(); ++c) {
            std::mt19937 rng(unsigned(lines[i][c]));
            for (int pixel = 0; pixel < 45; ++pixel)
                if (rng() % 3 == 0)
                    image.setPixel(int(c) * cellWidth + pixel % 5, int(i) * cellHeight + 2 + pixel / 5, 0);
        }
    }
    return image;
}

// A log of 15 batches: a header "== batch NN ==" and 16 to 32 lines cycling "OK", "OK", "retry",
// "OK". Its lines differ from one another in few pixels, and repeat.
inline std::vector<std::string> batchLog()
{
    std::vector<std::string> lines;
    for (int n = 1; n <= 15; ++n) {
        lines.push_back("== batch " + std::string(n < 10 ? "0" : "") + std::to_string(n) + " ==");
        for (int i = 0; i < 16 + n * 7 % 17; ++i)
            lines.push_back(i % 4 == 2 ? "retry" : "OK");
    }
    return lines;
}

// The rows of `lines` whole lines of `page` from line `first` on.
inline QImage window(const QImage& page, int first, int lines)
{
    return page.copy(0, first * lineHeight, page.width(), lines * lineHeight);
}

}
