#include "gui/app/images.h"

#include "app/command_ids.h"

#include <QColor>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <span>
#include <string_view>

namespace zorvil::images {

namespace {

// The 16-colour palette of the small images; '.' is transparent.
QColor PaletteColor(char code) {
    switch (code) {
    case 'k':
        return QColor(0, 0, 0);
    case 'w':
        return QColor(255, 255, 255);
    case 'g':
        return QColor(128, 128, 128);
    case 's':
        return QColor(192, 192, 192);
    case 'r':
        return QColor(128, 0, 0);
    case 'R':
        return QColor(255, 0, 0);
    case 'G':
        return QColor(0, 128, 0);
    case 'L':
        return QColor(0, 255, 0);
    case 'y':
        return QColor(128, 128, 0);
    case 'Y':
        return QColor(255, 255, 0);
    case 'b':
        return QColor(0, 0, 128);
    case 'B':
        return QColor(0, 0, 255);
    case 'c':
        return QColor(0, 128, 128);
    case 'C':
        return QColor(0, 255, 255);
    case 'm':
        return QColor(128, 0, 128);
    case 'M':
        return QColor(255, 0, 255);
    default:
        return QColor(0, 0, 0, 0);
    }
}

// One row of characters per pixel row, one palette code per pixel.
using PixelArt = std::span<const std::string_view>;

QImage FromArt(PixelArt rows) {
    const int height = static_cast<int>(rows.size());
    const int width = rows.empty() ? 0 : static_cast<int>(rows.front().size());
    QImage image(width, height, QImage::Format_ARGB32);
    int y = 0;
    for (std::string_view row : rows) {
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y,
                                PaletteColor(x < static_cast<int>(row.size()) ? row[x] : '.'));
        ++y;
    }
    return image;
}

constexpr std::string_view kNewArt[] = {
    "................", "...kkkkkkk......", "...kwwwwwkk.....", "...kwwwwwkwk....",
    "...kwwwwwkkkk...", "...kwwwwwwwwk...", "...kwwwwwwwwk...", "...kwwwwwwwwk...",
    "...kwwwwwwwwk...", "...kwwwwwwwwk...", "...kwwwwwwwwk...", "...kwwwwwwwwk...",
    "...kwwwwwwwwk...", "...kkkkkkkkkk...", "................",
};
constexpr std::string_view kOpenArt[] = {
    "................", "................", ".kkkk...........", "kYYYYk..........",
    "kYYYYYkkkkkkk...", "kYYYYYYYYYYYk...", "kYYkkkkkkkkkkkk.", "kYkyyyyyyyyyyyk.",
    "kYkyyyyyyyyyyk..", "kkyyyyyyyyyyyk..", "kkyyyyyyyyyyk...", "kyyyyyyyyyyyk...",
    "kkkkkkkkkkkk....", "................", "................",
};
constexpr std::string_view kSaveArt[] = {
    "................", ".kkkkkkkkkkkkk..", ".kbkwwwwwwwkbk..", ".kbkwwwwwwwkbk..",
    ".kbkwwwwwwwkbk..", ".kbkwwwwwwwkbk..", ".kbbkkkkkkkbbk..", ".kbbbbbbbbbbbk..",
    ".kbbkkkkkkkbbk..", ".kbbksskssskbk..", ".kbbksskssskbk..", ".kbbksskssskbk..",
    "..kkkkkkkkkkkk..", "................", "................",
};
constexpr std::string_view kRenderArt[] = {
    "................", "................", ".kkkkkkkkkkkkkk.", ".kwwwwwwwwwwwwk.",
    ".kwwRRRwwwwwwwk.", ".kwRwwwRwwwwwwk.", ".kRwwwwwRwwwwwk.", ".kwwwwwwwRwwwRk.",
    ".kwwwwwwwwRRRwk.", ".kwwwwwwwwwwwwk.", ".kkkkkkkkkkkkkk.", "......kkkk......",
    "....kkkkkkkk....", "................", "................",
};
constexpr std::string_view kPlayArt[] = {
    "................", "................", "....k...........", "....kk..........",
    "....kGk.........", "....kLGk........", "....kLLGk.......", "....kLLLGk......",
    "....kLLGk.......", "....kLGk........", "....kGk.........", "....kk..........",
    "....k...........", "................", "................",
};
constexpr std::string_view kPauseArt[] = {
    "................", "................", "................", "....kkk..kkk....",
    "....kBk..kBk....", "....kBk..kBk....", "....kBk..kBk....", "....kBk..kBk....",
    "....kBk..kBk....", "....kBk..kBk....", "....kBk..kBk....", "....kkk..kkk....",
    "................", "................", "................",
};
constexpr std::string_view kGoToStartArt[] = {
    "................", "................", "....kk.....k....", "....kk....kk....",
    "....kk...kGk....", "....kk..kGLk....", "....kk.kGLLk....", "....kkkGLLLk....",
    "....kk.kGLLk....", "....kk..kGLk....", "....kk...kGk....", "....kk....kk....",
    "....kk.....k....", "................", "................",
};

// The slots' digits, 6 x 10 pixels.
constexpr std::string_view kDigits[4][10] = {
    {"..##..", ".###..", "#.##..", "..##..", "..##..", "..##..", "..##..", "..##..", "..##..",
     "######"},
    {".####.", "##..##", "....##", "....##", "...##.", "..##..", ".##...", "##....", "##....",
     "######"},
    {".####.", "##..##", "....##", "....##", "..###.", "....##", "....##", "....##", "##..##",
     ".####."},
    {"....##", "...###", "..####", ".##.##", "##..##", "######", "....##", "....##", "....##",
     "....##"},
};

QPixmap Art(PixelArt rows) {
    return QPixmap::fromImage(FromArt(rows));
}

// A round light of `size` pixels: a ring, the lens and five pins of a MIDI socket.
QImage Light(int size, bool lit) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, size > 16);
    const int inset = size / 16;
    const QRectF ring(inset, inset, size - 2 * inset - 1, size - 2 * inset - 1);
    painter.setPen(QPen(lit ? PaletteColor('G') : PaletteColor('k'), size / 16.0 + 0.5));
    painter.setBrush(lit ? PaletteColor('L') : PaletteColor('g'));
    painter.drawEllipse(ring);
    // The pins: an arc of five dots around the centre, open at the bottom.
    painter.setPen(Qt::NoPen);
    painter.setBrush(lit ? PaletteColor('G') : PaletteColor('k'));
    const double centre = size / 2.0;
    const double radius = size * 0.26;
    const double dot = size >= 32 ? 3.0 : 1.0;
    for (int pin = 0; pin < 5; ++pin) {
        const double angle = (180.0 + 45.0 * pin) * 3.14159265358979 / 180.0;
        const double x = centre + radius * std::cos(angle) - dot / 2.0;
        const double y = centre + radius * std::sin(angle) - dot / 2.0;
        painter.drawRect(QRectF(x, y, dot, dot));
    }
    return image;
}

// Draws an icon at `size` pixels with `paint` (painter, size).
template <class Paint>
QImage IconImage(int size, Paint&& paint) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paint(painter, size);
    return image;
}

template <class Paint>
QIcon TwoSizeIcon(Paint&& paint) {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(IconImage(32, paint)));
    icon.addPixmap(QPixmap::fromImage(IconImage(16, paint)));
    return icon;
}

} // namespace

QPixmap ToolbarButton(uint32_t id) {
    switch (id) {
    case command::kNew:
        return Art(kNewArt);
    case command::kOpen:
        return Art(kOpenArt);
    case command::kSave:
        return Art(kSaveArt);
    case command::kRenderToWave:
        return Art(kRenderArt);
    case command::kPlay:
        return Art(kPlayArt);
    case command::kPause:
        return Art(kPauseArt);
    case command::kGoToStart:
        return Art(kGoToStartArt);
    default:
        return {};
    }
}

QPixmap EffectButton(int slot, bool shown) {
    QImage image(kEffectButtonSize, kEffectButtonSize, QImage::Format_ARGB32);
    image.fill(shown ? PaletteColor('L') : PaletteColor('s'));
    if (slot < 0 || slot >= static_cast<int>(std::size(kDigits))) return QPixmap::fromImage(image);
    const QColor ink = shown ? PaletteColor('G') : PaletteColor('g');
    int y = 2;
    for (std::string_view row : kDigits[slot]) {
        for (int x = 0; x < static_cast<int>(row.size()); ++x)
            if (row[x] == '#') image.setPixelColor(4 + x, y, ink);
        ++y;
    }
    return QPixmap::fromImage(image);
}

QPixmap LoadButton() {
    QImage image(kEffectButtonSize, kEffectButtonSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    // Three white keys between four black lines, two black keys over the inner lines.
    const QColor black = PaletteColor('k');
    for (int y = 2; y <= 11; ++y)
        for (int x = 0; x <= 12; ++x) {
            const bool frame = y == 2 || y == 11 || x % 4 == 0;
            const bool blackKey = y <= 7 && (std::abs(x - 4) <= 1 || std::abs(x - 8) <= 1);
            image.setPixelColor(x, y, frame || blackKey ? black : PaletteColor('w'));
        }
    return QPixmap::fromImage(image);
}

QPixmap MidiLight(bool lit) {
    return QPixmap::fromImage(Light(16, lit));
}

QIcon ProgramIcon() {
    return TwoSizeIcon([](QPainter& painter, int size) {
        const double unit = size / 16.0;
        painter.setRenderHint(QPainter::Antialiasing, size > 16);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(40, 40, 48));
        painter.drawRoundedRect(QRectF(0, 0, size, size), 2 * unit, 2 * unit);
        // A key column on the left ...
        painter.setBrush(PaletteColor('w'));
        painter.drawRect(QRectF(1 * unit, 2 * unit, 4 * unit, 12 * unit));
        painter.setBrush(PaletteColor('k'));
        for (int key : {3, 7, 11})
            painter.drawRect(QRectF(1 * unit, key * unit, 2.5 * unit, 1.5 * unit));
        // ... and three notes coloured by velocity, as the piano roll shows them.
        const std::array<QColor, 3> notes = {QColor(255, 1, 0), QColor(255, 127, 0),
                                             QColor(255, 255, 0)};
        const std::array<QRectF, 3> places = {QRectF(6, 3, 6, 2), QRectF(8, 7, 7, 2),
                                              QRectF(6, 11, 4, 2)};
        for (size_t i = 0; i < notes.size(); ++i) {
            painter.setBrush(notes[i]);
            const QRectF& r = places[i];
            painter.drawRect(
                QRectF(r.x() * unit, r.y() * unit, r.width() * unit, r.height() * unit));
        }
    });
}

QIcon EditorWindowIcon() {
    return TwoSizeIcon([](QPainter& painter, int size) {
        // A knob with its pointer.
        const double unit = size / 16.0;
        painter.setRenderHint(QPainter::Antialiasing, size > 16);
        painter.setPen(QPen(PaletteColor('k'), unit));
        painter.setBrush(PaletteColor('s'));
        painter.drawEllipse(QRectF(1.5 * unit, 1.5 * unit, 13 * unit, 13 * unit));
        painter.setPen(QPen(PaletteColor('R'), 1.5 * unit));
        painter.drawLine(QPointF(8 * unit, 8 * unit), QPointF(4 * unit, 4 * unit));
    });
}

QIcon InformationWindowIcon() {
    return TwoSizeIcon([](QPainter& painter, int size) {
        // An "i" in a blue circle.
        const double unit = size / 16.0;
        painter.setRenderHint(QPainter::Antialiasing, size > 16);
        painter.setPen(Qt::NoPen);
        painter.setBrush(PaletteColor('B'));
        painter.drawEllipse(QRectF(0.5 * unit, 0.5 * unit, 15 * unit, 15 * unit));
        painter.setBrush(PaletteColor('w'));
        painter.drawRect(QRectF(7 * unit, 3 * unit, 2 * unit, 2 * unit));
        painter.drawRect(QRectF(7 * unit, 6 * unit, 2 * unit, 7 * unit));
    });
}

QIcon ParameterWindowIcon() {
    return TwoSizeIcon([](QPainter& painter, int size) {
        // Three faders at different settings.
        const double unit = size / 16.0;
        painter.setPen(Qt::NoPen);
        painter.setBrush(PaletteColor('s'));
        painter.drawRect(QRectF(0, 0, size, size));
        const std::array<double, 3> levels = {9, 4, 7};
        for (size_t i = 0; i < levels.size(); ++i) {
            const double x = (2 + 5 * static_cast<double>(i)) * unit;
            painter.setBrush(PaletteColor('k'));
            painter.drawRect(QRectF(x + 1 * unit, 2 * unit, 1 * unit, 12 * unit));
            painter.setBrush(PaletteColor('b'));
            painter.drawRect(QRectF(x, levels[i] * unit, 3 * unit, 2 * unit));
        }
    });
}

QPixmap Background() {
    // Acoustic panels: a 10 x 10 grid of 40-pixel panels, each lit from the top left, with a
    // dark groove between them. The shade of each panel varies a little but repeats with the
    // tile, so the tiles join without a seam.
    constexpr int kPanel = 40;
    QImage image(kBackgroundSize, kBackgroundSize, QImage::Format_RGB32);
    for (int py = 0; py < kBackgroundSize / kPanel; ++py) {
        for (int px = 0; px < kBackgroundSize / kPanel; ++px) {
            const int shade = ((px * 7 + py * 13) % 5) * 3 - 6;
            const QColor base(104 + shade, 110 + shade, 122 + shade);
            for (int y = 0; y < kPanel; ++y) {
                for (int x = 0; x < kPanel; ++x) {
                    QColor colour = base;
                    if (x == 0 || y == 0) {
                        colour = QColor(60, 64, 72); // the groove
                    } else {
                        // A shallow pyramid: faces towards the top left are lit.
                        const int dx = x - kPanel / 2;
                        const int dy = y - kPanel / 2;
                        int light = 0;
                        if (std::abs(dx) > std::abs(dy))
                            light = dx < 0 ? 10 : -10;
                        else if (std::abs(dy) > std::abs(dx))
                            light = dy < 0 ? 14 : -14;
                        colour = QColor(std::clamp(base.red() + light, 0, 255),
                                        std::clamp(base.green() + light, 0, 255),
                                        std::clamp(base.blue() + light, 0, 255));
                    }
                    image.setPixelColor(px * kPanel + x, py * kPanel + y, colour);
                }
            }
        }
    }
    return QPixmap::fromImage(image);
}

} // namespace zorvil::images
