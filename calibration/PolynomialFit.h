// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "calibration/Extended.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace carteva {

// A point in the fit's plane and its pixel, both taken from their centres.
struct PlaneSample
{
    Extended U, V;
    Extended X, Y;
};

// A least-squares polynomial of one order (1 affine, 2 quadratic, 3 cubic) from the plane to the
// pixels, in (s, t) = (U, V) / scale, with how well it predicts each sample from the others: its
// residual / (1 - leverage), the residual of the fit made without it, with no refit. Or, in Note,
// why it cannot be judged.
struct PolynomialFit
{
    static constexpr std::size_t MaxTerms = 10;

    static constexpr std::size_t TermsOf(int order)
    {
        return std::size_t((order + 1) * (order + 2) / 2);
    }
    // "affine", "quadratic", "cubic".
    static std::string NameOf(int order);
    // 1, s, t, s², st, t², s³, s²t, st², t³ up to the order's count.
    static void Terms(int order, Extended s, Extended t, Extended *out);
    // The terms' derivatives by s and by t.
    static void Slopes(int order, Extended s, Extended t, Extended *ds, Extended *dt);

    // Leaving one out judges a polynomial only with `spare` points beyond its terms: with one or
    // two, one mistyped point can pass for the map's curvature.
    static constexpr std::size_t SparePoints = 3;
    PolynomialFit(std::span<const PlaneSample> samples, Extended scale, int order,
                  std::size_t spare = SparePoints);

    // Clearly better at predicting the samples: in the root mean square, and in the median too,
    // so that a model bending towards one mistyped point (which dominates the mean) is not taken.
    bool ClearlyBetterThan(const PolynomialFit &other) const;

    int Order = 1;
    Extended X[MaxTerms] {}; // coefficients of the terms
    Extended Y[MaxTerms] {};
    std::vector<std::optional<double>> LeftOut; // per sample; empty when not judged
    std::optional<double> Rms; // of LeftOut
    double Median = 0;
    std::string Note;
};

} // namespace carteva
