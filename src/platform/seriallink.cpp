#include "platform/seriallink.h"

#include <QCoreApplication>

#include "platform/serialcontrol.h"

namespace tessaly {

bool SerialLink::write_byte(std::uint8_t byte) { return port_.Output(byte); }

void SerialLink::yield() { QCoreApplication::processEvents(); }

void SerialLink::set_rthreshold(int threshold) { (void)port_.RThreshold(threshold); }

std::size_t SerialLink::discard_input() { return port_.Input().size(); }

std::uint64_t SerialLink::session() const { return port_.session(); }

std::string SerialLink::error_text() const { return port_.error_text(); }

}  // namespace tessaly
