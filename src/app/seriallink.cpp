#include "app/seriallink.h"

#include <QCoreApplication>

#include "platform/serialcontrol.h"

namespace tessaly {

bool SerialLink::write_byte(std::uint8_t byte) { return port_.Output(byte); }

void SerialLink::yield() { QCoreApplication::processEvents(); }

void SerialLink::set_rthreshold(int threshold) { (void)port_.RThreshold(threshold); }

void SerialLink::discard_input() { (void)port_.Input(); }

}  // namespace tessaly
