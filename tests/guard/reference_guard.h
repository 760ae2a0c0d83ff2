#ifndef KWRNDL_TESTS_GUARD_REFERENCE_GUARD_H
#define KWRNDL_TESTS_GUARD_REFERENCE_GUARD_H

/* What the reference guard driver and the tests share: its record of the
   requests it received, and the test-only control device that reads the
   record back and sets how the guard answers. Plain C: the driver is built
   without the C++ run-time. */

#define REFERENCE_GUARD_SERVICE "KwrndlReferenceGuard"
#define REFERENCE_GUARD_FILE "kwrndl-reference-guard.sys"
#define REFERENCE_GUARD_CONTROL_PATH "\\\\.\\KwrndlGuardTest"

/* The devices the guard creates, by the link name they are opened under. */
enum {
    GuardDeviceNT = 1,     /* KRBrisquallDev */
    GuardDeviceBQ95 = 2,   /* BQ95 */
    GuardDeviceZEM = 3,    /* ZEM */
    GuardDeviceKrbq95 = 4  /* krbq95 */
};

enum {
    GuardEventCreate = 1,
    GuardEventControl = 2,
    GuardEventCancel = 3,  /* a request left pending was cancelled */
    GuardEventClose = 4
};

/* How the guard answers the state query. */
enum {
    GuardAnswerState = 0,     /* its state, as a real guard does */
    GuardAnswerOther = 1,     /* the other state */
    GuardAnswerNothing = 2    /* no bytes, so the caller's preset stays */
};

#define GUARD_EVENT_INPUT_MAX 48
#define GUARD_RECORD_MAX 48

struct GuardEvent {
    unsigned int device;       /* GuardDevice* */
    unsigned int kind;         /* GuardEvent* */
    unsigned int opening;      /* serial number of the open it belongs to, from 1 */
    unsigned int code;         /* control code */
    unsigned int status;       /* what the guard answered (NTSTATUS) */
    unsigned int createOptions;  /* create: options, disposition in the top byte */
    unsigned int shareAccess;  /* create */
    unsigned int inputLength;  /* control: length as passed */
    unsigned int outputLength;
    unsigned char input[GUARD_EVENT_INPUT_MAX];  /* the first bytes of the input */
};

struct GuardRecord {
    unsigned int count;        /* events recorded */
    unsigned int lost;         /* events beyond GUARD_RECORD_MAX */
    unsigned int state;        /* the guard's switch state */
    struct GuardEvent events[GUARD_RECORD_MAX];
};

struct GuardMode {
    unsigned int answer;       /* GuardAnswer* */
    unsigned int pendRequest;  /* n: the n-th control request from now (any
                                  guard device) is left pending until it is
                                  cancelled; 0 never */
    unsigned int state;        /* the guard's switch state from now */
};

/* Test-only control codes: FILE_DEVICE_UNKNOWN, METHOD_BUFFERED, any access. */
#define GUARD_TEST_READ_RECORD 0x00222000u  /* output: struct GuardRecord */
#define GUARD_TEST_RESET 0x00222004u        /* input: struct GuardMode; empties the record */

#endif
