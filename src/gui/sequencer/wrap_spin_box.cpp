#include "gui/sequencer/wrap_spin_box.h"

#include <QLineEdit>

namespace zorvil {

CWrapSpinBox::CWrapSpinBox(int minimum, int maximum, int step, QWidget* parent)
    : QSpinBox(parent), m_nStep(step) {
    setRange(minimum, maximum);
    setSingleStep(step);
    setWrapping(true);
    setFocusPolicy(Qt::NoFocus);
    lineEdit()->setReadOnly(true);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void CWrapSpinBox::SetValue(int value) {
    setValue(value);
}

int CWrapSpinBox::Wrapped(int value, int steps) const noexcept {
    const int wanted = value + steps * m_nStep;
    if (wanted > maximum()) return minimum();
    if (wanted < minimum()) return maximum();
    return wanted;
}

void CWrapSpinBox::stepBy(int steps) {
    if (steps == 0) return;
    emit stepped(Wrapped(value(), steps));
}

QAbstractSpinBox::StepEnabled CWrapSpinBox::stepEnabled() const {
    // Both arrows always work: they wrap.
    return isEnabled() ? (StepUpEnabled | StepDownEnabled) : StepNone;
}

} // namespace zorvil
