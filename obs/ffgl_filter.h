// The OBS video filter that runs one FFGL effect: its obs_source_info, shared by every
// effect, with the effect's catalog entry as the kind's type data.
#ifndef FFGL_OBS_FFGL_FILTER_H
#define FFGL_OBS_FFGL_FILTER_H

#include <obs-module.h>

#include <string>

#include "obs/plugin_catalog.h"

namespace ffglobs {

struct FilterKind {
    CatalogEntry entry;
    std::string workerPath;     // empty: $FFGL_WORKER or the worker's default place
    double callTimeoutSeconds;  // how long one plug-in call may take
};

// The source info for `kind`, which must outlive the module's registration.
obs_source_info FilterSourceInfo(FilterKind* kind);

}  // namespace ffglobs

#endif  // FFGL_OBS_FFGL_FILTER_H
