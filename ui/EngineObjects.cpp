#include "EngineObjects.h"

#ifdef QUORVENAL_ENGINE_OBJECTS
#include "batch/Queue.h"
#include "batch/Variability.h"
#include "fitness/FitnessCalculator.h"
#include "fitness/SimpleFitness.h"
#endif

namespace qv {

#ifdef QUORVENAL_ENGINE_OBJECTS

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

#else

// Without the batch and fitness classes in the build the slots stay empty.
void CreateQueue(TEngineObjects&) {}
void CreateVariability(TEngineObjects&) {}
void FreeCalculator(TEngineObjects& Objects) { Objects.Calculator = nullptr; }
void FreeEngineObjects(TEngineObjects& Objects) { Objects = {}; }

#endif

}  // namespace qv
