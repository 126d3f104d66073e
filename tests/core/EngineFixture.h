#pragma once
// The fixture lives in tests/support; this name stays for test programs that
// still find it through tests/core.
#include "support/EngineFixture.h"
