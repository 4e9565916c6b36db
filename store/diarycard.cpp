#include "diarycard.h"
