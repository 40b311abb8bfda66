#pragma once
// The controls only a developer may use (BtnBaselineCompensation, BtnDeriveBaselines,
// RbRawGaussian, SgCompensations2, RbFullFitness), wherever their page put them.
class QWidget;

namespace qv {

// Enables the developer-only controls under Root exactly when Developer.
void ApplyDeveloperMode(QWidget* Root, bool Developer);

}  // namespace qv
