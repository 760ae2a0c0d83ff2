/* Reference guard for the tests: a kernel driver that Wine loads, with the
   guard's NT device and its three 9x devices. It answers the switch command,
   the state query and the legacy switch, records every request it receives,
   and serves the test-only control device (reference_guard.h) that reads the
   record back and sets how the next requests are answered. */
#include <ntddk.h>

#include "reference_guard.h"

#define SWITCH_COMMAND 0x0007E800u
#define STATE_QUERY 0x0007F010u
#define LEGACY_SWITCH 0x0007C454u
#define SETTING_CHANGE 0x0007C450u
#define SWITCH_COMMAND_9X 0x200u

#define DEVICE_COUNT 5
#define CONTROL_DEVICE 0

struct DeviceEntry {
    const WCHAR *device;
    const WCHAR *link;
    unsigned int id;
};

static const struct DeviceEntry g_devices[DEVICE_COUNT] = {
    {L"\\Device\\KwrndlGuardTest", L"\\DosDevices\\KwrndlGuardTest", 0},
    {L"\\Device\\KRBrisquallDev", L"\\DosDevices\\KRBrisquallDev", GuardDeviceNT},
    {L"\\Device\\KwrndlGuardBQ95", L"\\DosDevices\\BQ95", GuardDeviceBQ95},
    {L"\\Device\\KwrndlGuardZEM", L"\\DosDevices\\ZEM", GuardDeviceZEM},
    {L"\\Device\\KwrndlGuardKrbq95", L"\\DosDevices\\krbq95", GuardDeviceKrbq95},
};

struct DeviceExtension {
    unsigned int id;
};

static DEVICE_OBJECT *g_deviceObjects[DEVICE_COUNT];
static KSPIN_LOCK g_lock;
static struct GuardRecord g_record;
static struct GuardMode g_mode;
static unsigned int g_openings;
static unsigned int g_requests;
/* The request left pending, guarded by the cancel spin lock. */
static IRP *g_pending;

static unsigned int DeviceId(DEVICE_OBJECT *device)
{
    return ((struct DeviceExtension *)device->DeviceExtension)->id;
}

static unsigned int Opening(IO_STACK_LOCATION *stack)
{
    return stack->FileObject ? (unsigned int)(ULONG_PTR)stack->FileObject->FsContext : 0;
}

static void Record(const struct GuardEvent *event)
{
    KIRQL irql;
    KeAcquireSpinLock(&g_lock, &irql);
    if (g_record.count < GUARD_RECORD_MAX)
        g_record.events[g_record.count++] = *event;
    else
        g_record.lost++;
    KeReleaseSpinLock(&g_lock, irql);
}

static NTSTATUS Complete(IRP *irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static void CancelPending(DEVICE_OBJECT *device, IRP *irp)
{
    struct GuardEvent event;
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);

    if (g_pending == irp)
        g_pending = NULL;
    IoReleaseCancelSpinLock(irp->CancelIrql);

    RtlZeroMemory(&event, sizeof event);
    event.device = DeviceId(device);
    event.kind = GuardEventCancel;
    event.opening = Opening(stack);
    event.code = stack->Parameters.DeviceIoControl.IoControlCode;
    event.status = (unsigned int)STATUS_CANCELLED;
    Record(&event);
    Complete(irp, STATUS_CANCELLED, 0);
}

/* Leaves the request pending until the caller cancels it. */
static NTSTATUS Pend(IRP *irp)
{
    KIRQL irql;
    IoMarkIrpPending(irp);
    IoAcquireCancelSpinLock(&irql);
    IoSetCancelRoutine(irp, CancelPending);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
        IoReleaseCancelSpinLock(irql);
        Complete(irp, STATUS_CANCELLED, 0);
        return STATUS_PENDING;
    }
    g_pending = irp;
    IoReleaseCancelSpinLock(irql);
    return STATUS_PENDING;
}

/* A request still pending when the test resets or the driver unloads. */
static void DropPending(void)
{
    KIRQL irql;
    IRP *irp;
    IoAcquireCancelSpinLock(&irql);
    irp = g_pending;
    g_pending = NULL;
    if (irp && !IoSetCancelRoutine(irp, NULL))
        irp = NULL;  /* its cancel routine is already on the way */
    IoReleaseCancelSpinLock(irql);
    if (irp)
        Complete(irp, STATUS_CANCELLED, 0);
}

static NTSTATUS TestControl(IRP *irp, IO_STACK_LOCATION *stack)
{
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    void *buffer = irp->AssociatedIrp.SystemBuffer;
    KIRQL irql;

    if (code == GUARD_TEST_READ_RECORD && outLength >= sizeof g_record) {
        KeAcquireSpinLock(&g_lock, &irql);
        RtlCopyMemory(buffer, &g_record, sizeof g_record);
        KeReleaseSpinLock(&g_lock, irql);
        return Complete(irp, STATUS_SUCCESS, sizeof g_record);
    }
    if (code == GUARD_TEST_RESET && inLength >= sizeof g_mode) {
        DropPending();
        KeAcquireSpinLock(&g_lock, &irql);
        RtlCopyMemory(&g_mode, buffer, sizeof g_mode);
        RtlZeroMemory(&g_record, sizeof g_record);
        g_record.state = g_mode.state;
        g_requests = 0;
        KeReleaseSpinLock(&g_lock, irql);
        return Complete(irp, STATUS_SUCCESS, 0);
    }
    return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

static void SetState(unsigned int state)
{
    KIRQL irql;
    KeAcquireSpinLock(&g_lock, &irql);
    g_record.state = state;
    KeReleaseSpinLock(&g_lock, irql);
}

static NTSTATUS GuardControl(DEVICE_OBJECT *device, IRP *irp, IO_STACK_LOCATION *stack)
{
    unsigned int id = DeviceId(device);
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    unsigned char *buffer = (unsigned char *)irp->AssociatedIrp.SystemBuffer;
    NTSTATUS status = STATUS_INVALID_DEVICE_REQUEST;
    ULONG_PTR information = 0;
    int pend = 0;
    struct GuardEvent event;

    RtlZeroMemory(&event, sizeof event);
    event.device = id;
    event.kind = GuardEventControl;
    event.opening = Opening(stack);
    event.code = code;
    event.inputLength = inLength;
    event.outputLength = outLength;
    if (buffer && inLength)
        RtlCopyMemory(event.input, buffer,
                      inLength < GUARD_EVENT_INPUT_MAX ? inLength : GUARD_EVENT_INPUT_MAX);

    pend = (unsigned int)InterlockedIncrement((LONG *)&g_requests) == g_mode.pendRequest;
    if (id == GuardDeviceNT && code == SWITCH_COMMAND && inLength >= 1) {
        SetState(buffer[0] == '1');
        status = STATUS_SUCCESS;
    } else if (id == GuardDeviceNT && code == STATE_QUERY && outLength >= 2) {
        unsigned int state = g_record.state;
        status = STATUS_SUCCESS;
        if (g_mode.answer != GuardAnswerNothing) {
            if (g_mode.answer == GuardAnswerOther)
                state = !state;
            buffer[0] = (unsigned char)state;
            buffer[1] = 0;
            information = 2;
        }
    } else if (id == GuardDeviceNT && code == LEGACY_SWITCH && inLength >= 4) {
        SetState(buffer[0] | buffer[1] | buffer[2] | buffer[3] ? 1 : 0);
        status = STATUS_SUCCESS;
    } else if ((id == GuardDeviceBQ95 || id == GuardDeviceZEM) && code == SWITCH_COMMAND_9X &&
               inLength >= 1) {
        SetState(buffer[0] == '1');
        status = STATUS_SUCCESS;
    } else if (id == GuardDeviceKrbq95 && code == SETTING_CHANGE) {
        status = STATUS_SUCCESS;
    }

    if (status != STATUS_SUCCESS)
        pend = 0;
    event.status = (unsigned int)(pend ? STATUS_PENDING : status);
    Record(&event);
    if (pend)
        return Pend(irp);
    return Complete(irp, status, information);
}

static NTSTATUS WINAPI Dispatch(DEVICE_OBJECT *device, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    unsigned int id = DeviceId(device);
    struct GuardEvent event;

    if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL)
        return id == 0 ? TestControl(irp, stack) : GuardControl(device, irp, stack);
    if (id == 0 || stack->MajorFunction == IRP_MJ_CLEANUP)
        return Complete(irp, STATUS_SUCCESS, 0);

    RtlZeroMemory(&event, sizeof event);
    event.device = id;
    event.status = STATUS_SUCCESS;
    if (stack->MajorFunction == IRP_MJ_CREATE) {
        if (stack->FileObject)
            stack->FileObject->FsContext = (void *)(ULONG_PTR)InterlockedIncrement(
                (LONG *)&g_openings);
        event.kind = GuardEventCreate;
        event.createOptions = stack->Parameters.Create.Options;
        event.shareAccess = stack->Parameters.Create.ShareAccess;
    } else {
        event.kind = GuardEventClose;
    }
    event.opening = Opening(stack);
    Record(&event);
    return Complete(irp, STATUS_SUCCESS, 0);
}

static void RemoveDevices(void)
{
    int i;
    for (i = 0; i < DEVICE_COUNT; ++i) {
        if (g_deviceObjects[i]) {
            UNICODE_STRING link;
            RtlInitUnicodeString(&link, g_devices[i].link);
            IoDeleteSymbolicLink(&link);
            IoDeleteDevice(g_deviceObjects[i]);
            g_deviceObjects[i] = NULL;
        }
    }
}

static void WINAPI Unload(DRIVER_OBJECT *driver)
{
    (void)driver;
    DropPending();
    RemoveDevices();
}

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registryPath)
{
    int i;
    (void)registryPath;

    KeInitializeSpinLock(&g_lock);
    g_record.state = 1;
    driver->MajorFunction[IRP_MJ_CREATE] = Dispatch;
    driver->MajorFunction[IRP_MJ_CLOSE] = Dispatch;
    driver->MajorFunction[IRP_MJ_CLEANUP] = Dispatch;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = Dispatch;
    driver->DriverUnload = Unload;

    for (i = 0; i < DEVICE_COUNT; ++i) {
        UNICODE_STRING name, link;
        DEVICE_OBJECT *device = NULL;
        NTSTATUS status;
        RtlInitUnicodeString(&name, g_devices[i].device);
        RtlInitUnicodeString(&link, g_devices[i].link);
        status = IoCreateDevice(driver, sizeof(struct DeviceExtension), &name,
                                i == CONTROL_DEVICE ? FILE_DEVICE_UNKNOWN : FILE_DEVICE_DISK, 0,
                                FALSE, &device);
        if (!NT_SUCCESS(status)) {
            RemoveDevices();
            return status;
        }
        ((struct DeviceExtension *)device->DeviceExtension)->id = g_devices[i].id;
        status = IoCreateSymbolicLink(&link, &name);
        if (!NT_SUCCESS(status)) {
            IoDeleteDevice(device);
            RemoveDevices();
            return status;
        }
        g_deviceObjects[i] = device;
    }
    return STATUS_SUCCESS;
}
