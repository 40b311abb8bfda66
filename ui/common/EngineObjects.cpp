#include "common/EngineObjects.h"

#include "batch/Queue.h"
#include "batch/Variability.h"
#include "fitness/FitnessCalculator.h"
#include "fitness/SimpleFitness.h"

namespace qv {

void CreateQueue(TEngineObjects& Objects) {
  delete Objects.Queue;
  Objects.Queue = new TFCSQueue();
}
void CreateVariability(TEngineObjects& Objects) {
  delete Objects.Variability;
  Objects.Variability = new TVariability();
}
void FreeCalculator(TEngineObjects& Objects) {
  delete Objects.Calculator;
  Objects.Calculator = nullptr;
}
void FreeEngineObjects(TEngineObjects& Objects) {
  FreeCalculator(Objects);
  delete Objects.SimpleFitness;
  Objects.SimpleFitness = nullptr;
  delete Objects.Queue;
  Objects.Queue = nullptr;
  delete Objects.Variability;
  Objects.Variability = nullptr;
}

}  // namespace qv
