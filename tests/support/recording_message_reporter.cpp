#include "tests/support/recording_message_reporter.h"
