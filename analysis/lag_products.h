// Lag products of a segment through a fast transform: the autocorrelation terms of the
// accurate pitch estimator at a cost of O(n log n) instead of window x lags.
#pragma once

constexpr int kLagProductsMaxLog2 = 11;
constexpr int kLagProductsMaxPoints = 1 << kLagProductsMaxLog2;  // windowLength + maxLag fit

// products[t] = sum over j < windowLength of x[j] * x[j + t], for t = 0 .. maxLag, from the
// windowLength + maxLag samples of x. Formed in single precision through transforms of the
// smallest power of two that holds the segment, so each entry carries a rounding error of
// about 1e-6 of products[0] (a direct sum in float errs as much). False, with products
// untouched, when the sizes are not positive, maxLag exceeds windowLength or the segment
// exceeds kLagProductsMaxPoints.
bool ComputeLagProducts(const float* x, int windowLength, int maxLag, float* products);
