#include "messages.h"

#include <ostream>

namespace vantrel::cli {

std::ostream& Message(std::ostream& err) { return err << kMessagePrefix; }

}  // namespace vantrel::cli
