#pragma once
// The objects one live test works with: the device link, the run's store, the
// flow engine and the live point list. An entry point builds one set and hands
// it to what runs tests; nothing in the core reaches for a shared one.
#include "core/device/device_manager.h"
#include "core/measure/curve_point_list.h"
#include "core/measure/flow_engine.h"
#include "core/measure/measurement_store.h"

#include <memory>

struct MeasurementParts {
    DeviceManager devices;
    MeasurementStore store;
    // The engine holds two 64 KB slot arrays: on the heap.
    std::unique_ptr<FlowEngine> engine = std::make_unique<FlowEngine>();
    CurvePointList points;
};
