#include "gui/host/info_list_box.h"

#include <QFontDatabase>
#include <QFontMetrics>

namespace zorvil {

namespace {

// The horizontal scroll extent reaches this far past the widest line.
constexpr int kExtentMargin = 5;
constexpr int kFontPoints = 8;

} // namespace

CInfoListBox::CInfoListBox(QWidget* parent) : QListWidget(parent) {
    setObjectName(QStringLiteral("infoList"));
    setSortingEnabled(false);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The lines are the plug-in's facts in a small sans-serif face, as the desktop's own.
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(kFontPoints);
    font.setWeight(QFont::Normal);
    setFont(font);
}

void CInfoListBox::ClearLines() {
    clear();
    m_nWidest = 0;
}

int CInfoListBox::AddLine(const QString& text) {
    const int before = count();
    addItem(text);
    if (count() != before + 1) return -1;
    const QFontMetrics metrics(font());
    const int width = metrics.horizontalAdvance(text);
    const int height = metrics.height();
    if (width > m_nWidest) m_nWidest = width;
    if (height > m_nTallest) m_nTallest = height;
    return before;
}

int CInfoListBox::TotalHeight() const noexcept {
    return count() * m_nTallest;
}

int CInfoListBox::ScrollExtent() const noexcept {
    return m_nWidest > 0 ? m_nWidest + kExtentMargin : 0;
}

} // namespace zorvil
