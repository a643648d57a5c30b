// The platform's job, as the core sees it: the operations that the portable core calls and
// the platform layer defines. Nothing here names Qt, PortAudio or libsndfile; the program
// links the real back ends, the core's tests link small fakes or the in-memory ones.
#pragma once

// ---- Display back end -------------------------------------------------------------------

// ---- Audio source -----------------------------------------------------------------------
