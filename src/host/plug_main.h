// The module's working entry point: every host call arrives here.
#ifndef QUELLIX_HOST_PLUG_MAIN_H
#define QUELLIX_HOST_PLUG_MAIN_H

#include "ffgl/abi.h"
#include "platform.h"

// Routes one host call; function codes, inputs and answers are listed in ffgl/abi.h.
extern "C" QUELLIX_EXPORT FFResult plugMain(uint32_t functionCode, FFMixed input,
                                            FFInstanceID instanceHandle);

#endif  // QUELLIX_HOST_PLUG_MAIN_H
