// SPDX-License-Identifier: GPL-3.0-or-later
// The full view's "View Options" dialog: a plain Qt form over FullViewOptions.
#include "platform/qt/full_view_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QSpinBox>

#include "fullview/full_options.h"
#include "shell/reference_pitch.h"
#include "views/note_scale.h"

namespace {

constexpr int kRates[] = {22050, 44100, 48000, 96000};
constexpr int kOverlaps[] = {0, 50, 75, 90};

QComboBox* Choice(QWidget* parent, std::initializer_list<const char*> labels, int current) {
    auto* box = new QComboBox(parent);
    for (const char* label : labels)
        box->addItem(QString::fromUtf8(label));
    box->setCurrentIndex(current);
    return box;
}

// The index of `value` in `values`, or of the last one below it.
template <size_t N>
int IndexOf(const int (&values)[N], int value) {
    int index = 0;
    for (size_t i = 0; i < N; i++)
        if (values[i] <= value) index = int(i);
    return index;
}

}  // namespace

bool RunFullViewOptionsDialog(QWidget* parent) {
    const FullViewOptionsRecord before = FullViewOptions;
    const FullAnalysisConfig& a = before.analysis;
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("View Options"));
    auto* form = new QFormLayout(&dialog);

    auto* size = new QComboBox(&dialog);
    for (int n = kFullMinFftSize; n <= kFullMaxFftSize; n *= 2)
        size->addItem(QString::number(n), n);
    size->setCurrentIndex(size->findData(a.fftSize));
    form->addRow(QStringLiteral("FFT size:"), size);
    auto* window = Choice(&dialog, {"Hann", "Blackman-Harris"}, int(a.window));
    form->addRow(QStringLiteral("Window:"), window);
    auto* overlap =
        Choice(&dialog, {"none", "50 %", "75 %", "90 %"}, IndexOf(kOverlaps, a.overlapPercent));
    form->addRow(QStringLiteral("Overlap (at least):"), overlap);
    auto* rate = Choice(&dialog, {"22050 Hz", "44100 Hz", "48000 Hz", "96000 Hz"},
                        IndexOf(kRates, a.sampleRate));
    form->addRow(QStringLiteral("Capture rate:"), rate);
    auto* history = new QSpinBox(&dialog);
    history->setRange(kFullMinHistorySeconds, kFullMaxHistorySeconds);
    history->setSuffix(QStringLiteral(" s"));
    history->setValue(a.historySeconds);
    form->addRow(QStringLiteral("Spectrogram history:"), history);
    auto* colours = Choice(&dialog, {"Handheld", "Viridis", "Grey"}, int(before.colours));
    form->addRow(QStringLiteral("Colour map:"), colours);
    auto* axis = Choice(&dialog, {"Linear", "Logarithmic"}, before.logAxis ? 1 : 0);
    form->addRow(QStringLiteral("Frequency axis:"), axis);
    auto* top = new QDoubleSpinBox(&dialog);
    auto* bottom = new QDoubleSpinBox(&dialog);
    for (QDoubleSpinBox* box : {top, bottom}) {
        box->setRange(kFullLowestDb, kFullHighestDb);
        box->setDecimals(0);
        box->setSuffix(QStringLiteral(" dB"));
    }
    top->setValue(before.dbHigh);
    bottom->setValue(before.dbLow);
    form->addRow(QStringLiteral("Top of the scale:"), top);
    form->addRow(QStringLiteral("Bottom of the scale:"), bottom);
    auto* averaging = Choice(&dialog, {"Off", "Short", "Long"}, int(a.averaging));
    form->addRow(QStringLiteral("Averaging:"), averaging);
    auto* peak = new QCheckBox(QStringLiteral("Peak hold"), &dialog);
    peak->setChecked(a.peakHold);
    form->addRow(peak);
    auto* filled = new QCheckBox(QStringLiteral("Fill under the spectrum"), &dialog);
    filled->setChecked(before.filled);
    form->addRow(filled);
    auto* reference = new QDoubleSpinBox(&dialog);
    reference->setObjectName(QStringLiteral("referencePitch"));
    reference->setRange(kLowestReferencePitch, kHighestReferencePitch);
    reference->setDecimals(1);
    reference->setSingleStep(0.1);
    reference->setSuffix(QStringLiteral(" Hz"));
    reference->setValue(NoteScale.referenceHz);
    form->addRow(QStringLiteral("Reference pitch (A4):"), reference);
    auto* tuner = new QCheckBox(QStringLiteral("Tuner gauge"), &dialog);
    tuner->setChecked(before.tuner);
    form->addRow(tuner);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return false;

    FullViewOptionsRecord after = before;
    after.analysis.fftSize = size->currentData().toInt();
    after.analysis.window = FullWindowKind(window->currentIndex());
    after.analysis.overlapPercent = kOverlaps[overlap->currentIndex()];
    after.analysis.sampleRate = kRates[rate->currentIndex()];
    after.analysis.historySeconds = history->value();
    after.analysis.averaging = FullAveraging(averaging->currentIndex());
    after.analysis.peakHold = peak->isChecked();
    after.colours = FullColourMapKind(colours->currentIndex());
    after.logAxis = axis->currentIndex() == 1;
    after.filled = filled->isChecked();
    after.tuner = tuner->isChecked();
    after.dbLow = float(bottom->value());
    after.dbHigh = float(top->value());
    LimitFullDbRange(&after.dbLow, &after.dbHigh);
    if (!ValidFullAnalysisConfig(after.analysis)) return false;
    FullViewOptions = after;
    // Kept only when changed: a pitch given on the command line holds for its run alone.
    const float chosen = float(reference->value());
    if (chosen != NoteScale.referenceHz) ChooseReferencePitch(chosen);
    return true;
}
