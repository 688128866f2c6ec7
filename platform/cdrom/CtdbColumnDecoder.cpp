#include "CtdbColumnDecoder.h"

#include "Gf16.h"

#include <algorithm>

namespace bw {

namespace {

using TPoly = std::vector<std::uint16_t>; // lowest power first

// The error locator polynomial, degree L = its size - 1.
TPoly BerlekampMassey(const std::vector<std::uint16_t>& s) {
    const TGf16& gf = TGf16::Field();
    TPoly c{1}, b{1};
    std::size_t l = 0, m = 1;
    std::uint16_t lastD = 1;
    for (std::size_t n = 0; n < s.size(); ++n) {
        std::uint16_t d = s[n];
        for (std::size_t i = 1; i <= l && i < c.size(); ++i)
            d ^= gf.Mul(c[i], s[n - i]);
        if (d == 0) {
            ++m;
            continue;
        }
        const std::uint16_t factor = gf.Div(d, lastD);
        TPoly previous = c;
        if (c.size() < b.size() + m) c.resize(b.size() + m, 0);
        for (std::size_t i = 0; i < b.size(); ++i)
            c[i + m] ^= gf.Mul(factor, b[i]);
        if (2 * l <= n) {
            l = n + 1 - l;
            b = std::move(previous);
            lastD = d;
            m = 1;
        } else {
            ++m;
        }
    }
    c.resize(l + 1, 0);
    return c;
}

std::uint16_t Evaluate(const TPoly& p, std::uint16_t x) {
    const TGf16& gf = TGf16::Field();
    std::uint16_t v = 0;
    for (std::size_t i = p.size(); i-- > 0;)
        v = gf.Mul(v, x) ^ p[i];
    return v;
}

} // namespace

std::optional<std::vector<TCtdbColumnError>> DecodeCtdbColumn(const std::vector<std::uint16_t>& s,
                                                              int rows, int maxErrors) {
    std::vector<TCtdbColumnError> errors;
    if (std::all_of(s.begin(), s.end(), [](std::uint16_t v) { return v == 0; })) return errors;
    const TGf16& gf = TGf16::Field();
    const TPoly lambda = BerlekampMassey(s);
    const int l = static_cast<int>(lambda.size()) - 1;
    if (l < 1 || l > maxErrors || 2 * l > static_cast<int>(s.size()) || lambda[std::size_t(l)] == 0)
        return std::nullopt;
    // Error locators X = alpha^i, i = rows - row: the roots of lambda are X^-1.
    std::vector<unsigned> powers;
    if (l == 1) {
        powers.push_back(gf.Log(lambda[1]));
    } else {
        // Chien search: term j holds lambda_j * alpha^(-i*j) as i runs on.
        std::vector<std::uint16_t> terms(lambda.begin(), lambda.end());
        std::vector<TGf16Multiplier> step;
        for (int j = 0; j <= l; ++j)
            step.emplace_back(gf.Exp(TGf16::Order - unsigned(j)));
        for (int i = 0; i < rows && static_cast<int>(powers.size()) < l; ++i) {
            std::uint16_t sum = 0;
            for (int j = 0; j <= l; ++j)
                sum ^= terms[std::size_t(j)];
            if (sum == 0) powers.push_back(unsigned(i));
            for (int j = 1; j <= l; ++j)
                terms[std::size_t(j)] = step[std::size_t(j)](terms[std::size_t(j)]);
        }
    }
    if (static_cast<int>(powers.size()) != l) return std::nullopt;
    // Forney (first root alpha^0): e = X * omega(X^-1) / lambda'(X^-1).
    TPoly omega(s.size(), 0);
    for (std::size_t i = 0; i < s.size(); ++i)
        for (std::size_t j = 0; j < lambda.size() && i + j < s.size(); ++j)
            omega[i + j] ^= gf.Mul(s[i], lambda[j]);
    TPoly derivative(lambda.size() > 1 ? lambda.size() - 1 : 1, 0);
    for (std::size_t j = 1; j < lambda.size(); j += 2)
        derivative[j - 1] = lambda[j];
    for (unsigned i : powers) {
        if (i >= unsigned(rows)) return std::nullopt;
        const std::uint16_t x = gf.Exp(i);
        const std::uint16_t xInverse = gf.Inverse(x);
        const std::uint16_t denominator = Evaluate(derivative, xInverse);
        if (denominator == 0) return std::nullopt;
        const std::uint16_t value = gf.Mul(x, gf.Div(Evaluate(omega, xInverse), denominator));
        if (value == 0) return std::nullopt;
        errors.push_back({rows - int(i), value});
    }
    std::sort(errors.begin(), errors.end(),
              [](const TCtdbColumnError& a, const TCtdbColumnError& b) { return a.Row < b.Row; });
    return errors;
}

} // namespace bw
