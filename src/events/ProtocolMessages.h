#pragma once

// The protocol messages that travel between participants, as one header for
// whoever sends or receives them: the library, hosts, tests and fuzz targets.
// ProtocolTypes.h names the types and describes the conventions shared by
// every message's record, builder and parser.

#include "events/AnnotationMessages.h"
#include "events/DisplayMessages.h"
#include "events/FullUpdateContainer.h"
#include "events/InputMessages.h"
#include "events/ProtocolTypes.h"
#include "events/SharingMessages.h"
