#include "TextUtils.h"
