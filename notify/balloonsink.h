#pragma once

// The sink of a balloon page: it hears its page's events and answers its
// host's questions exactly as every hosted page's sink does.

#include "host/sinks.h"

class CBalloonSink : public CBrowserSink {
};
