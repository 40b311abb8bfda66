#include "Streams.h"
