#include "logging.h"

namespace Dispor {

Q_LOGGING_CATEGORY(lcDispor, "dispor")

} // namespace Dispor
