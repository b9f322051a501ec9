// SPDX-License-Identifier: GPL-2.0-or-later
#include "calibration/PolynomialFit.h"

#include <algorithm>
#include <cmath>

namespace carteva {

namespace {

// A pivot this small against the normal matrix's diagonal: the points cannot tell the terms of a
// polynomial apart (all on three parallels for a cubic, say). Exact dependence leaves rounding
// noise near 1e-18.
constexpr Extended DependentTerms = 1e-12L;
// A leverage this close to 1 means the others alone cannot place the point.
constexpr Extended LeverageLimit = 1 - 1e-9L;
// A higher order is taken only when it predicts the left-out points clearly better: by a tenth
// and by more than a hundredth of a pixel, so that exact points and noise keep the simpler model.
constexpr double BetterFactor = 0.9;
constexpr double BetterPixels = 0.01;

bool Finite(Extended v)
{
    return std::isfinite(v);
}

// Inverts the symmetric matrix in place (Gauss-Jordan with partial pivoting); false when singular.
bool InvertInPlace(Extended (&a)[PolynomialFit::MaxTerms][PolynomialFit::MaxTerms], std::size_t n)
{
    Extended largest = 0;
    for (std::size_t i = 0; i < n; ++i)
        largest = std::max(largest, std::fabs(a[i][i]));
    Extended inverse[PolynomialFit::MaxTerms][PolynomialFit::MaxTerms] {};
    for (std::size_t i = 0; i < n; ++i)
        inverse[i][i] = 1;
    for (std::size_t column = 0; column < n; ++column) {
        std::size_t pivot = column;
        for (std::size_t row = column + 1; row < n; ++row) {
            if (std::fabs(a[row][column]) > std::fabs(a[pivot][column]))
                pivot = row;
        }
        if (!(std::fabs(a[pivot][column]) > DependentTerms * largest))
            return false;
        std::swap(a[pivot], a[column]);
        std::swap(inverse[pivot], inverse[column]);
        const Extended divisor = a[column][column];
        for (std::size_t k = 0; k < n; ++k) {
            a[column][k] /= divisor;
            inverse[column][k] /= divisor;
        }
        for (std::size_t row = 0; row < n; ++row) {
            if (row == column)
                continue;
            const Extended factor = a[row][column];
            for (std::size_t k = 0; k < n; ++k) {
                a[row][k] -= factor * a[column][k];
                inverse[row][k] -= factor * inverse[column][k];
            }
        }
    }
    std::copy(&inverse[0][0], &inverse[0][0] + PolynomialFit::MaxTerms * PolynomialFit::MaxTerms,
              &a[0][0]);
    return true;
}

} // namespace

std::string PolynomialFit::NameOf(int order)
{
    return order == 1 ? "affine" : order == 2 ? "quadratic" : "cubic";
}

void PolynomialFit::Terms(int order, Extended s, Extended t, Extended *out)
{
    out[0] = 1;
    out[1] = s;
    out[2] = t;
    if (order < 2)
        return;
    out[3] = s * s;
    out[4] = s * t;
    out[5] = t * t;
    if (order < 3)
        return;
    out[6] = s * s * s;
    out[7] = s * s * t;
    out[8] = s * t * t;
    out[9] = t * t * t;
}

void PolynomialFit::Slopes(int order, Extended s, Extended t, Extended *ds, Extended *dt)
{
    const Extended zero[MaxTerms] {};
    std::copy(zero, zero + MaxTerms, ds);
    std::copy(zero, zero + MaxTerms, dt);
    ds[1] = 1;
    dt[2] = 1;
    if (order < 2)
        return;
    ds[3] = 2 * s;
    ds[4] = t;
    dt[4] = s;
    dt[5] = 2 * t;
    if (order < 3)
        return;
    ds[6] = 3 * s * s;
    ds[7] = 2 * s * t;
    dt[7] = s * s;
    ds[8] = t * t;
    dt[8] = 2 * s * t;
    dt[9] = 3 * t * t;
}

PolynomialFit::PolynomialFit(std::span<const PlaneSample> samples, Extended scale, int order,
                             std::size_t spare)
    : Order(order)
{
    const std::size_t terms = TermsOf(order);
    const std::string name = NameOf(order);
    const std::string article = order == 1 ? "An " : "A ";
    if (samples.size() < terms) {
        Note = article + name + " fit needs at least " + std::to_string(terms) + " points";
        return;
    }
    if (samples.size() == terms) {
        Note = std::to_string(terms) + " points fix " + (order == 1 ? "an " : "a ") + name
            + " fit exactly, leaving none to check it by";
        return;
    }
    if (order > 1 && samples.size() < terms + spare) {
        Note = article + name + " fit needs " + std::to_string(terms + spare)
            + " points for leaving one out to judge it";
        return;
    }
    Extended normal[MaxTerms][MaxTerms] {};
    Extended sumX[MaxTerms] {}, sumY[MaxTerms] {};
    Extended t[MaxTerms];
    for (const PlaneSample &sample : samples) {
        Terms(order, sample.U / scale, sample.V / scale, t);
        for (std::size_t i = 0; i < terms; ++i) {
            for (std::size_t j = 0; j < terms; ++j)
                normal[i][j] += t[i] * t[j];
            sumX[i] += t[i] * sample.X;
            sumY[i] += t[i] * sample.Y;
        }
    }
    if (!InvertInPlace(normal, terms)) {
        Note = "The points do not spread enough for " + std::string(order == 1 ? "an " : "a ")
            + name + " fit";
        return;
    }
    for (std::size_t i = 0; i < terms; ++i) {
        for (std::size_t j = 0; j < terms; ++j) {
            X[i] += normal[i][j] * sumX[j];
            Y[i] += normal[i][j] * sumY[j];
        }
    }
    double sumSquares = 0;
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const PlaneSample &sample = samples[k];
        Terms(order, sample.U / scale, sample.V / scale, t);
        Extended leverage = 0, x = 0, y = 0;
        for (std::size_t i = 0; i < terms; ++i) {
            x += X[i] * t[i];
            y += Y[i] * t[i];
            for (std::size_t j = 0; j < terms; ++j)
                leverage += t[i] * normal[i][j] * t[j];
        }
        if (!(leverage < LeverageLimit) || !Finite(x) || !Finite(y)) {
            Note = "Point " + std::to_string(k + 1) + " lies too far from the others to check "
                + (order == 1 ? "an " : "a ") + name + " fit";
            LeftOut.clear();
            return;
        }
        const double pixels
            = double(std::hypot(x - sample.X, y - sample.Y) / (1 - leverage));
        LeftOut.push_back(pixels);
        sumSquares += pixels * pixels;
    }
    Rms = std::sqrt(sumSquares / double(samples.size()));
    std::vector<double> sorted;
    for (const std::optional<double> &pixels : LeftOut)
        sorted.push_back(*pixels);
    std::sort(sorted.begin(), sorted.end());
    Median = (sorted[(sorted.size() - 1) / 2] + sorted[sorted.size() / 2]) / 2;
}

bool PolynomialFit::ClearlyBetterThan(const PolynomialFit &other) const
{
    const auto better = [](double mine, double theirs) {
        return mine < BetterFactor * theirs && theirs - mine > BetterPixels;
    };
    return Rms && other.Rms && better(*Rms, *other.Rms) && better(Median, other.Median);
}

} // namespace carteva
