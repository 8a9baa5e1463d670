// The IEEE 488.2 / SCPI status system of the instrument: standard event register, status
// byte, the SCPI condition/event/enable register groups and the error queue.
#ifndef QMDC_EMULATOR_CORE_STATUS_SYSTEM_H
#define QMDC_EMULATOR_CORE_STATUS_SYSTEM_H

#include <cstdint>
#include <deque>
#include <string>

namespace qmdc::emu {

// Standard event status register bits.
enum EsrBit : int {
    kEsrOperationComplete = 1,
    kEsrQueryError = 4,
    kEsrDeviceError = 8,
    kEsrExecutionError = 16,
    kEsrCommandError = 32,
};

// A SCPI register group. The event register latches rising edges of the condition register
// and is cleared when read.
struct EventRegister {
    uint16_t condition = 0;
    uint16_t event = 0;
    uint16_t enable = 0;

    void SetCondition(uint16_t value) {
        event = static_cast<uint16_t>(event | (value & ~condition));
        condition = value;
    }
    uint16_t ReadEvent() {
        const uint16_t value = event;
        event = 0;
        return value;
    }
    bool Summary() const { return (event & enable) != 0; }
};

struct QueuedError {
    int code;
    std::string message;
};

// Standard texts of the SCPI error codes the instrument reports.
const char* ErrorText(int code);

class ErrorQueue {
  public:
    static constexpr size_t kCapacity = 10;

    // A full queue keeps its oldest entries and turns the newest into -350 "Queue overflow".
    void Push(int code);
    QueuedError Pop();  // 0,"No error" when empty
    size_t Count() const { return entries_.size(); }
    int OldestCode() const { return entries_.empty() ? 0 : entries_.front().code; }
    void Clear() { entries_.clear(); }

  private:
    std::deque<QueuedError> entries_;
};

struct StatusSystem {
    int esr = 0;           // standard event status register
    int ese = 0;           // its enable register
    int sre = 0;           // service request enable
    int esrStuckBits = 0;  // fault injection: bits every *ESR? answer includes
    EventRegister operation;
    EventRegister questionable;
    EventRegister hardware;     // STAT:QUES:HARD
    EventRegister temperature;  // STAT:QUES:TEMP
    ErrorQueue errors;

    // Queues the error and sets the event bit of its class (-1xx command, -2xx execution,
    // -3xx device-dependent, -4xx query).
    void ReportError(int code);
    int StatusByte() const;
    // Whether the instrument requests service (the status byte's summary bit 6): a server
    // that delivers service requests raises one each time this turns from false to true.
    bool RequestsService() const { return (StatusByte() & 64) != 0; }
    void Clear();   // *CLS: event registers and error queue
    void Preset();  // STAT:PRES: SCPI enable registers back to 0
};

}  // namespace qmdc::emu

#endif
