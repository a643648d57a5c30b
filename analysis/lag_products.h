// SPDX-License-Identifier: GPL-3.0-or-later
// Lag products of a segment through fast transforms: the autocorrelation terms of the
// accurate pitch estimator at a cost of O(n log n) instead of window x lags.
#pragma once

constexpr int kLagProductsMaxLag = 512;

// products[t] = sum over j < 2 maxLag of x[j] * x[j + t], for t = 0 .. maxLag, from the
// 3 maxLag samples of x: a window of two lag ranges, as the pitch estimator uses it. Formed
// in single precision through transforms of 2 maxLag points, so each entry carries a
// rounding error of about 1e-7 of the window's energy (a direct sum in float errs as much).
// False, with products untouched, unless maxLag is a power of two from 4 to
// kLagProductsMaxLag.
bool ComputeLagProducts(const float* x, int maxLag, float* products);
