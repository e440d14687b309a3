#pragma once
// Kept so that tests still including the old path build; the helpers live in support/.
#include "support/test_support.h"
