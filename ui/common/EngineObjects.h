#pragma once
// The engine objects the main window owns besides the protocol and the data set: the batch
// queue, the variability object and the two fitness calculators. Their classes live in
// engine/batch and engine/fitness; the queue and variability object are made at start and all
// four freed at close.
namespace qv {

class TFCSQueue;
class TVariability;
class TFitnessCalculator;
class TSimpleFitness;

struct TEngineObjects {
  TFCSQueue* Queue = nullptr;
  TVariability* Variability = nullptr;
  TFitnessCalculator* Calculator = nullptr;
  TSimpleFitness* SimpleFitness = nullptr;
};

// An empty queue (creation step 11).
void CreateQueue(TEngineObjects& Objects);
// A new, empty variability object (creation step 15).
void CreateVariability(TEngineObjects& Objects);
// Frees and clears Calculator, SimpleFitness, Queue and Variability, in that order.
void FreeEngineObjects(TEngineObjects& Objects);
// Frees and clears the variable-fluorophore calculator alone.
void FreeCalculator(TEngineObjects& Objects);

}  // namespace qv
