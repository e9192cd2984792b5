#include "gui/host/info_list_box.h"

namespace zorvil {

CInfoListBox::CInfoListBox(QWidget* parent) : QListWidget(parent) {}

void CInfoListBox::ClearLines() {
    clear();
    m_nWidest = 0;
}

int CInfoListBox::AddLine(const QString& text) {
    addItem(text);
    return count() - 1;
}

int CInfoListBox::TotalHeight() const noexcept {
    return count() * m_nTallest;
}

} // namespace zorvil
