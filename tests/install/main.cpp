#include "TestMain.h"

VANTOR_TEST_MAIN
