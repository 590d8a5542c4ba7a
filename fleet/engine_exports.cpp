// The multiplexed engine's exports: the C records turned into the engine's
// own, and its completions handed to the caller's callback.
#include <cstring>
#include <new>

#include "fleet/fleet_engine.h"
#include "transact/printer_config.h"

struct SnmpEngine {
    explicit SnmpEngine(unsigned workers) : engine(workers) {}
    snmphelper::FleetEngine engine;
};

namespace snmphelper {
namespace {

bool AcceptableRequest(const SnmpEngineRequest *request) {
    if (request == nullptr || request->recordSize != sizeof(SnmpEngineRequest) || request->printerName == nullptr ||
        (request->varBinds == nullptr && request->varBindCount != 0) ||
        request->timeoutSeconds < SNMP_TRANSACTION_CONFIGURED || request->retries < SNMP_TRANSACTION_CONFIGURED) {
        return false;
    }
    return request->community == nullptr || std::strlen(request->community) < kCommunityFieldSize;
}

struct CallerDelivery {
    SnmpEngineCallback callback;
    void *context;
};

void DeliverToCaller(void *context, FleetCompletion &completion) {
    const auto *caller = static_cast<const CallerDelivery *>(context);
    const SnmpEngineCompletion record{completion.result, completion.errorStatus, completion.errorIndex,
                                      completion.protocol, completion.reply,      completion.tag};
    caller->callback(caller->context, &record);
}

}  // namespace
}  // namespace snmphelper

using namespace snmphelper;

extern "C" SNMPHELPER_API SnmpEngine *SNMPHELPER_CALL HelperSNMPEngineCreate(uint32_t workerThreads) {
    if (workerThreads > kMostFleetWorkers) return nullptr;
    try {
        return new SnmpEngine(workerThreads == 0 ? kDefaultFleetWorkers : workerThreads);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPEngineSubmit(SnmpEngine *engine,
                                                                         const SnmpEngineRequest *request) {
    if (engine == nullptr || !AcceptableRequest(request)) return SNMP_RESULT_INVALID_ARGUMENT;
    TransactionOptions options;
    options.timeoutSeconds = request->timeoutSeconds;
    options.retries = request->retries;
    options.community = request->community;
    try {
        return engine->engine.Submit(request->printerName, request->requestType,
                                     {request->varBinds, request->varBindCount}, options, request->tag);
    } catch (const std::bad_alloc &) {
        return SNMP_RESULT_OUT_OF_MEMORY;
    }
}

extern "C" SNMPHELPER_API int32_t SNMPHELPER_CALL HelperSNMPEngineRun(SnmpEngine *engine, uint32_t milliseconds,
                                                                      SnmpEngineCallback callback, void *context,
                                                                      uint32_t *inFlight) {
    if (engine == nullptr || callback == nullptr) return SNMP_RESULT_INVALID_ARGUMENT;
    CallerDelivery caller{callback, context};
    std::size_t left = 0;
    try {
        left = engine->engine.Run(milliseconds, DeliverToCaller, &caller);
    } catch (const std::bad_alloc &) {
        left = engine->engine.InFlight();
    }
    if (inFlight != nullptr) *inFlight = static_cast<uint32_t>(left);
    return 0;
}

extern "C" SNMPHELPER_API void SNMPHELPER_CALL HelperSNMPEngineDestroy(SnmpEngine *engine) { delete engine; }
