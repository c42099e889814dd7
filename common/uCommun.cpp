#include "common/uCommun.h"
