#pragma once

namespace kivo {

// The token counts of one run and whether they fit the model's context.
struct TokenBudget {
    static constexpr int outputReserve = 2048;
    static constexpr int frameworkMargin = 512;
    static constexpr int maximumResponseTokens = 2048;

    int input = 0;
    int instructions = 0;
    int schema = 0;
    int context = 0;

    long long total() const
    {
        return static_cast<long long>(input) + instructions + schema + outputReserve + frameworkMargin;
    }
    // A total exactly equal to the context still fits.
    bool fits() const { return total() <= context; }

    bool operator==(const TokenBudget&) const = default;
};

} // namespace kivo
