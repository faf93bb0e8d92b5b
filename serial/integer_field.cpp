#include "serial/integer_field.h"

#include "platform/user_error.h"

std::int32_t ParseIntegerField(const std::string& textUtf8) {
    throw UserError::withDetail("'%s' ist kein gültiger Integerwert", textUtf8);
}
