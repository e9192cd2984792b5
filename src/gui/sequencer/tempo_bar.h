// CTempoBar: the row of the tempo bar: "Tempo" with its value and arrows (30-303), "Measures"
// (1-8) and "Steps by measure" (2-32, moving by 2), each a CWrapSpinBox that wraps around.
//
// The bar only shows values and reports the user's steps: the main frame decides (nothing
// changes while the sequencer plays, and the bar is disabled then) and records accepted values
// in the pattern's history.
//
//     auto* bar = new CTempoBar(toolbar);
//     connect(bar->Tempo(), &CWrapSpinBox::stepped, frame, &CMainFrame::OnTempoStepped);
//     bar->ShowValues(120, 2, 16);
//
// Threads: the user-interface thread.
#pragma once

#include "gui/sequencer/wrap_spin_box.h"

#include <QWidget>

namespace zorvil {

class CTempoBar : public QWidget {
    Q_OBJECT

public:
    explicit CTempoBar(QWidget* parent = nullptr);

    CWrapSpinBox* Tempo() const noexcept { return m_pTempo; }
    CWrapSpinBox* Measures() const noexcept { return m_pMeasures; }
    CWrapSpinBox* Steps() const noexcept { return m_pSteps; }

    void ShowValues(int tempo, int measures, int stepsPerMeasure);

private:
    CWrapSpinBox* m_pTempo;
    CWrapSpinBox* m_pMeasures;
    CWrapSpinBox* m_pSteps;
};

} // namespace zorvil
