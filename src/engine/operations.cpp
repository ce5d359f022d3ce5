#include "engine/operations.h"

#include <array>
#include <cmath>

namespace tessaly {
namespace {

constexpr double seconds_per_day = 86400.0;

constexpr const char* partly_erased = "the chip may be only partly erased. Run Erase All again.";
constexpr const char* shifted_read =
    "the words read may belong to other addresses. Run it again.";

constexpr std::array<OperationInfo, 5> operations{{
    {Operation::program, "program", &SelectedDevice::programlines, "Begin program all.",
     "Chip programmed. ", nullptr, nullptr,
     "the chip may be partly programmed, or words may have gone to other addresses. "
     "Run Program All again.",
     "the chip may be partly programmed. Run Program All again.", false, false},
    {Operation::read, "read", &SelectedDevice::readlines, "Begin read all.", "Chip read. ",
     nullptr, nullptr, shifted_read, nullptr, true, false},
    {Operation::erase, "erase", &SelectedDevice::eraselines, "Begin erase all.",
     "Chip erased. ", nullptr, nullptr,
     partly_erased, partly_erased, false, false},
    {Operation::blank, "blank", &SelectedDevice::blanklines, "Begin blank check.",
     "Chip is blank. ", "Chip is not blank. ", "Chip is not blank:", shifted_read, nullptr, false, true},
    {Operation::verify, "verify", &SelectedDevice::verifylines, "Begin verify.",
     "Chip verified. ", "Chip verify failed. ", "Chip verify failed:", shifted_read, nullptr, false, true},
}};

// operation_info reads the table by position.
constexpr bool operations_follow_enum() {
    for (std::size_t k = 0; k < operations.size(); ++k) {
        if (operations[k].op != static_cast<Operation>(k)) return false;
    }
    return true;
}
static_assert(operations_follow_enum(), "the rows of the operation table must follow enum Operation");

}  // namespace

const OperationInfo& operation_info(Operation op) {
    return operations[static_cast<std::size_t>(op)];
}

float elapsed_seconds(float start, double now) {
    float t = static_cast<float>(now) - start;
    // An operation that runs across midnight sees the clock start again at 0.
    if (t < 0) t = static_cast<float>(t + seconds_per_day);
    return t;
}

std::string elapsed_text(float seconds) {
    const double t = seconds > 0 ? static_cast<double>(seconds) : 0.0;
    const double whole = std::floor(t);
    long long hundredths = static_cast<long long>(std::floor((t - whole) * 100));
    if (hundredths > 99) hundredths = 99;
    const std::string h = std::to_string(hundredths);
    return std::to_string(static_cast<long long>(whole)) + "." + (hundredths < 10 ? "0" + h : h);
}

}  // namespace tessaly
