#pragma once
// Pages of text-like lines for the scrolling tests: each line is a row of dark "glyphs" of its own
// length on white, drawn from the line's number, so that lines with the same number look the same
// and any two others differ.
#include <QImage>
#include <QPainter>
#include <random>
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

// The rows of `lines` whole lines of `page` from line `first` on.
inline QImage window(const QImage& page, int first, int lines)
{
    return page.copy(0, first * lineHeight, page.width(), lines * lineHeight);
}

}
