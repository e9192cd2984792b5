// CWrapSpinBox: a spin control whose arrows step by a fixed amount and wrap around: a step
// above the maximum gives the minimum, a step below the minimum gives the maximum (tempo 303 up
// gives 30; steps per measure move by 2, and 32 up gives 2).
//
// The control does not change its value itself when the user steps: it emits `stepped` with
// the value the step asks for, and whoever handles it accepts the value with SetValue or
// rejects it by doing nothing (the sequencer plays). The text is read-only and the control
// never takes the keyboard focus, so the program's keys keep working after a click on it.
//
//     auto* tempo = new CWrapSpinBox(30, 303, 1, bar);
//     connect(tempo, &CWrapSpinBox::stepped, frame, [=](int v) { tempo->SetValue(v); });
//
// Threads: the user-interface thread.
#pragma once

#include <QSpinBox>

namespace zorvil {

class CWrapSpinBox : public QSpinBox {
    Q_OBJECT

public:
    CWrapSpinBox(int minimum, int maximum, int step, QWidget* parent = nullptr);

    // Shows `value` (clamped into the range) without emitting `stepped`.
    void SetValue(int value);
    // The value a step of `steps` clicks from `value` gives, wrapped into the range.
    int Wrapped(int value, int steps) const noexcept;

    void stepBy(int steps) override;

signals:
    // The user asked for this value (already wrapped into the range).
    void stepped(int value);

protected:
    StepEnabled stepEnabled() const override;

private:
    int m_nStep;
};

} // namespace zorvil
