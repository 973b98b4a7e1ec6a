#pragma once

// Whether the tests run under Wine, whose settings functions differ from Windows' in a known
// way (see ProfileConformanceTest).
bool RunningUnderWine();
