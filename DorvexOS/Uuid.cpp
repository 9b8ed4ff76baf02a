#include "DorvexOS/Uuid.h"

#include <uuid/uuid.h>

namespace dorvex::uuid {

std::string newUpper() {
    uuid_t bytes;
    uuid_generate_random(bytes);
    char text[37];
    uuid_unparse_upper(bytes, text);
    return text;
}

} // namespace dorvex::uuid
