// The later copy's client inside the core: the part that every system shares
// (OnlyOne.cpp) and what each system's part (OnlyOne.cpp on POSIX systems,
// OnlyOne_win32.cpp on Windows) gives it. Not for use outside the two.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "OnlyOne.h"

namespace HandOffClient {

using TClock = std::chrono::steady_clock;

// The last call's outcome, as HandOffError, HandOffFailure and
// HandOffStreamRefused report it.
extern std::string SendError;
extern THandOffFailure Failure;
extern bool StreamRefused;
// The patience given to the last ConnectToFirstInstance, and when it ends.
extern std::chrono::milliseconds PatienceGiven;
extern TClock::time_point PatienceEnd;

void Fail(THandOffFailure Why, std::string Text);
// A span as the messages give it: whole seconds, rounded up.
std::string Seconds(std::chrono::milliseconds Span);
// What is left of the patience; 0 once it has passed.
std::chrono::milliseconds TimeLeft();
// A wait for the running copy that outlasted the patience, over What.
void FailTimedOut(const std::string& What);
// The running copy's answer to one message of What: true for an acknowledgement,
// else false with the failure set.
bool Acknowledged(char Answer, const std::string& What);

// Clears the last outcome and starts the patience of a new connection. Returns
// how long a running copy that does not listen yet is waited for: a copy takes
// that long to start, but never longer than the patience.
std::chrono::milliseconds BeginConnect(std::chrono::milliseconds StartupWait, std::chrono::milliseconds Patience);
// The outcome of a connection that never got through to the running copy at
// Where: no place to look for it, every try Crowded (Busy tells how), or no one
// answering for StartupFor.
THandOffConnect FailConnect(const std::string& Where, bool Crowded, const std::string& Busy,
                            std::chrono::milliseconds StartupFor);

// A batch of texts and the closing "?" as one stream: the bytes to send next and
// the answers that have come, which the system's part moves as the connection
// takes and gives them.
class TStreamBatch {
public:
    TStreamBatch(const std::vector<std::string>& Texts, std::vector<std::size_t>* Skipped);
    // The bytes still to send: the next messages, up to 64 KiB of them, once the
    // last piece has gone; empty when everything has.
    std::string_view ToSend();
    void Sent(std::size_t Bytes) { FPendingAt += Bytes; }
    // Takes answers as they come; false, with the failure set, on one that is no
    // acknowledgement of a message sent.
    bool Answers(const char* Data, std::size_t Size);
    // Every message sent and answered.
    bool Done() const { return FEndSent && FAnswered == FSent && FPendingAt == FPending.size(); }

    // The batch as the messages name it.
    static constexpr const char* What = "the files";

private:
    const std::vector<std::string>& FTexts;
    std::vector<std::size_t>* FSkipped;
    std::size_t FNext = 0;  // the next text to encode
    std::size_t FSent = 0;  // messages encoded for sending, "?" among them
    std::size_t FAnswered = 0;
    bool FEndSent = false;
    std::string FPending;
    std::size_t FPendingAt = 0;
};

// Each system's: one message and its answer, within the patience; and the batch
// sent as one stream, once the running copy has taken the Stream message. Both
// set the failure and disconnect when they fail.
bool Exchange(THandOffKind Kind, std::string_view Text, const std::string& What);
bool SendStream(TStreamBatch& Batch);

}  // namespace HandOffClient
