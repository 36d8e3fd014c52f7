/* The messages between the test HID minidriver and the test process that plays the board. The
 * driver connects to the pipe of its device instance for each message: the pipe of instance 0000
 * of ROOT\QD7310SIM is \\.\pipe\qd7310sim-0000. Shared by the driver (C) and the tests (C++). */
#pragma once

#define RELAY_PIPE_PREFIX L"\\??\\pipe\\qd7310sim-"
#define RELAY_DATA_MAX 256

enum relay_kind {
    RELAY_REPORT = 1, /* index: the report ID; data: the report without its ID */
    RELAY_STRING = 2, /* index: the string index; length: the bytes the caller can take */
    RELAY_DISCARDED = 3, /* a held write was cancelled; no reply */
};

enum relay_status {
    RELAY_OK = 0,
    RELAY_REFUSE = 1, /* the request fails */
    RELAY_STALL = 2, /* a report is held unanswered until its caller cancels it */
};

struct relay_request
{
    unsigned int kind;
    unsigned int index;
    unsigned int length;
    unsigned char data[RELAY_DATA_MAX];
};

struct relay_reply
{
    unsigned int status;
    unsigned int length;
    unsigned char data[RELAY_DATA_MAX];
};
