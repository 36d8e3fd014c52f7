/* A test-only HID minidriver for Wine: it presents the evaluation board (0x1209:0x0001, 16-byte
 * input and output reports) inside Wine's own HID stack and relays every output report and every
 * request for an indexed string to the test process over the named pipe \\.\pipe\qd7310sim-<instance>,
 * where the board's firmware runs. It never ships; see relay.h for the messages. */

#include <ntdef.h>
#include <ntstatus.h>
#include <ddk/wdm.h>

#include "relay.h"

/* What the driver needs of hidport.h and hidclass.h, from the Windows driver documentation:
 * mingw-w64 has no hidport.h, and its hidclass.h numbers the minidriver requests wrongly. */
#define HID_CTL_CODE(id) CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_NEITHER, FILE_ANY_ACCESS)
#define IOCTL_HID_GET_DEVICE_DESCRIPTOR HID_CTL_CODE(0)
#define IOCTL_HID_GET_REPORT_DESCRIPTOR HID_CTL_CODE(1)
#define IOCTL_HID_READ_REPORT HID_CTL_CODE(2)
#define IOCTL_HID_WRITE_REPORT HID_CTL_CODE(3)
#define IOCTL_HID_GET_DEVICE_ATTRIBUTES HID_CTL_CODE(9)
#define IOCTL_HID_GET_INDEXED_STRING \
    CTL_CODE(FILE_DEVICE_KEYBOARD, 120, METHOD_OUT_DIRECT, FILE_ANY_ACCESS)

typedef struct
{
    ULONG Revision;
    DRIVER_OBJECT *DriverObject;
    UNICODE_STRING *RegistryPath;
    ULONG DeviceExtensionSize;
    BOOLEAN DevicesArePolled;
    UCHAR Reserved[3];
} HID_MINIDRIVER_REGISTRATION;

typedef struct
{
    DEVICE_OBJECT *PhysicalDeviceObject;
    DEVICE_OBJECT *NextDeviceObject;
    void *MiniDeviceExtension;
} HID_DEVICE_EXTENSION;

typedef struct
{
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    USHORT Reserved[11];
} HID_DEVICE_ATTRIBUTES;

#pragma pack(push, 1)
typedef struct
{
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdHID;
    UCHAR bCountry;
    UCHAR bNumDescriptors;
    UCHAR bReportType;
    USHORT wReportLength;
} HID_DESCRIPTOR;
#pragma pack(pop)

typedef struct
{
    UCHAR *reportBuffer;
    ULONG reportBufferLen;
    UCHAR reportId;
} HID_XFER_PACKET;

NTSTATUS NTAPI HidRegisterMinidriver(HID_MINIDRIVER_REGISTRATION *registration);

/* Vendor-defined page, one application collection, 16-byte input and output reports without a
 * report ID: the board's interface as its USB descriptors give it. */
static const UCHAR kReportDescriptor[] = {
    0x06, 0x00, 0xFF, /* usage page (vendor 0xFF00) */
    0x09, 0x01, /* usage 1 */
    0xA1, 0x01, /* collection (application) */
    0x15, 0x00, 0x26, 0xFF, 0x00, /* logical 0..255 */
    0x75, 0x08, 0x95, 0x10, /* 16 bytes */
    0x09, 0x01, 0x81, 0x02, /* input (data, variable, absolute) */
    0x09, 0x01, 0x91, 0x02, /* output (data, variable, absolute) */
    0xC0,
};

#define MAX_DEVICES 4

struct sim_device
{
    DEVICE_OBJECT *fdo;
    DEVICE_OBJECT *hid_pdo; /* the HID device hidclass made for it, once seen */
    WCHAR pipe[64];
    IRP *read; /* hidclass's pending read: the board sends no input reports */
    IRP *parked; /* a write held unanswered */
    IRP *parked_origin; /* the caller's write that the parked one serves */
    BOOLEAN removed;
};

static struct sim_device *devices[MAX_DEVICES];
static DRIVER_DISPATCH *hidclass_device_control;
static DRIVER_DISPATCH *hidclass_write;
/* Wine dispatches every request on one thread: the caller's write being passed to hidclass. */
static IRP *write_in_dispatch;

static void copy_bytes(void *to, const void *from, ULONG length)
{
    UCHAR *t = to;
    const UCHAR *f = from;
    while (length--)
        *t++ = *f++;
}

static NTSTATUS complete(IRP *irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* One round trip to the test process. Returns FALSE when nobody listens on the device's pipe. */
static BOOLEAN relay(struct sim_device *device, const struct relay_request *request,
    struct relay_reply *reply)
{
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES attributes;
    IO_STATUS_BLOCK io;
    HANDLE pipe;
    NTSTATUS status;
    LARGE_INTEGER pause;
    int tries;

    pause.QuadPart = -10000; /* 1 ms */
    RtlInitUnicodeString(&name, device->pipe);
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
        NULL);
    /* Every instance may be busy for a moment while the test process answers another. */
    for (tries = 0; tries < 100; ++tries) {
        status = ZwCreateFile(&pipe, GENERIC_READ | GENERIC_WRITE | SYNCHRONIZE, &attributes, &io,
            NULL, 0, 0, FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL,
            0);
        if (status != STATUS_PIPE_NOT_AVAILABLE && status != STATUS_PIPE_BUSY)
            break;
        KeDelayExecutionThread(KernelMode, FALSE, &pause);
    }
    if (!NT_SUCCESS(status))
        return FALSE;
    status = ZwWriteFile(pipe, NULL, NULL, NULL, &io, (void *)request, sizeof *request, NULL, NULL);
    if (NT_SUCCESS(status) && reply)
        status = ZwReadFile(pipe, NULL, NULL, NULL, &io, reply, sizeof *reply, NULL, NULL);
    ZwClose(pipe);
    return NT_SUCCESS(status) && (!reply || io.Information == sizeof *reply);
}

static struct sim_device *device_of_fdo(DEVICE_OBJECT *fdo)
{
    return ((HID_DEVICE_EXTENSION *)fdo->DeviceExtension)->MiniDeviceExtension;
}

/* The device instance ID of a device, as the PnP manager knows it (ROOT\QD7310SIM\<instance>). */
static NTSTATUS query_instance_id(DEVICE_OBJECT *device, WCHAR *id, ULONG size)
{
    IO_STATUS_BLOCK io;
    KEVENT event;
    IRP *irp;
    IO_STACK_LOCATION *stack;
    const WCHAR *answer;
    ULONG i;

    KeInitializeEvent(&event, NotificationEvent, FALSE);
    irp = IoBuildSynchronousFsdRequest(IRP_MJ_PNP, device, NULL, 0, NULL, &event, &io);
    if (!irp)
        return STATUS_NO_MEMORY;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    stack = IoGetNextIrpStackLocation(irp);
    stack->MinorFunction = IRP_MN_QUERY_ID;
    stack->Parameters.QueryId.IdType = BusQueryInstanceID;
    if (IoCallDriver(device, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, NULL);
    if (!NT_SUCCESS(io.Status))
        return io.Status;
    answer = (const WCHAR *)io.Information;
    for (i = 0; i + 1 < size && answer[i]; ++i)
        id[i] = answer[i];
    id[i] = 0;
    ExFreePool((void *)answer);
    return STATUS_SUCCESS;
}

/* The simulated device behind one of hidclass's HID devices. hidclass makes that device on this
 * driver's object and gives it the instance ID of the root device it serves. */
static struct sim_device *device_of_hid_pdo(DEVICE_OBJECT *pdo)
{
    WCHAR instance[32];
    ULONG i, j;

    for (i = 0; i < MAX_DEVICES; ++i)
        if (devices[i] && devices[i]->hid_pdo == pdo)
            return devices[i];
    if (!NT_SUCCESS(query_instance_id(pdo, instance, 32)))
        return NULL;
    for (i = 0; i < MAX_DEVICES; ++i) {
        const WCHAR *suffix;
        if (!devices[i] || devices[i]->removed)
            continue;
        suffix = devices[i]->pipe + sizeof(RELAY_PIPE_PREFIX) / sizeof(WCHAR) - 1;
        for (j = 0; instance[j] && instance[j] == suffix[j]; ++j)
            ;
        if (!instance[j] && !suffix[j]) {
            devices[i]->hid_pdo = pdo;
            return devices[i];
        }
    }
    return NULL;
}

static void WINAPI cancel_parked(DEVICE_OBJECT *unused, IRP *origin)
{
    ULONG i;
    (void)unused;
    IoReleaseCancelSpinLock(origin->CancelIrql);
    for (i = 0; i < MAX_DEVICES; ++i) {
        struct sim_device *device = devices[i];
        IRP *parked;
        if (!device || device->parked_origin != origin)
            continue;
        parked = InterlockedExchangePointer((void **)&device->parked, NULL);
        device->parked_origin = NULL;
        if (parked) {
            struct relay_request request = { RELAY_DISCARDED, 0, 0, { 0 } };
            relay(device, &request, NULL);
            complete(parked, STATUS_CANCELLED, 0);
        }
    }
}

/* Ends a parked write for good: the device is leaving. */
static void drop_parked(struct sim_device *device)
{
    IRP *parked = InterlockedExchangePointer((void **)&device->parked, NULL);
    IRP *read = InterlockedExchangePointer((void **)&device->read, NULL);
    if (parked) {
        if (device->parked_origin)
            IoSetCancelRoutine(device->parked_origin, NULL);
        device->parked_origin = NULL;
        complete(parked, STATUS_DELETE_PENDING, 0);
    }
    if (read)
        complete(read, STATUS_DELETE_PENDING, 0);
}

static NTSTATUS write_report(struct sim_device *device, IRP *irp)
{
    const HID_XFER_PACKET *packet = irp->UserBuffer;
    struct relay_request request = { RELAY_REPORT, packet->reportId, 0, { 0 } };
    struct relay_reply reply;

    request.length = packet->reportBufferLen < RELAY_DATA_MAX ? packet->reportBufferLen
                                                               : RELAY_DATA_MAX;
    copy_bytes(request.data, packet->reportBuffer, request.length);
    if (!relay(device, &request, &reply))
        return complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    if (reply.status == RELAY_REFUSE)
        return complete(irp, STATUS_IO_DEVICE_ERROR, 0);
    if (reply.status == RELAY_STALL && write_in_dispatch) {
        /* Held with a cancel routine on the caller's request, so that its CancelIo reaches this
         * one: hidclass passes the caller's write on as a request of its own and sets none. */
        IoMarkIrpPending(irp);
        device->parked_origin = write_in_dispatch;
        device->parked = irp;
        IoSetCancelRoutine(write_in_dispatch, cancel_parked);
        return STATUS_PENDING;
    }
    return complete(irp, STATUS_SUCCESS, packet->reportBufferLen);
}

static NTSTATUS WINAPI internal_ioctl(DEVICE_OBJECT *fdo, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    struct sim_device *device = device_of_fdo(fdo);
    const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;

    if (device->removed)
        return complete(irp, STATUS_DELETE_PENDING, 0);
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_HID_GET_DEVICE_DESCRIPTOR: {
        HID_DESCRIPTOR descriptor = { sizeof descriptor, 0x21, 0x0111, 0, 1, 0x22,
            sizeof kReportDescriptor };
        if (out_size < sizeof descriptor)
            return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        copy_bytes(irp->UserBuffer, &descriptor, sizeof descriptor);
        return complete(irp, STATUS_SUCCESS, sizeof descriptor);
    }
    case IOCTL_HID_GET_REPORT_DESCRIPTOR:
        if (out_size < sizeof kReportDescriptor)
            return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        copy_bytes(irp->UserBuffer, kReportDescriptor, sizeof kReportDescriptor);
        return complete(irp, STATUS_SUCCESS, sizeof kReportDescriptor);
    case IOCTL_HID_GET_DEVICE_ATTRIBUTES: {
        HID_DEVICE_ATTRIBUTES attributes = { sizeof attributes, 0x1209, 0x0001, 0x0100, { 0 } };
        if (out_size < sizeof attributes)
            return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        copy_bytes(irp->UserBuffer, &attributes, sizeof attributes);
        return complete(irp, STATUS_SUCCESS, sizeof attributes);
    }
    case IOCTL_HID_READ_REPORT:
        IoMarkIrpPending(irp);
        device->read = irp;
        return STATUS_PENDING;
    case IOCTL_HID_WRITE_REPORT:
        return write_report(device, irp);
    default:
        return complete(irp, STATUS_NOT_SUPPORTED, 0);
    }
}

/* String requests from programs reach hidclass's own device-control entry, which in Wine 8 has no
 * case for an indexed string. This wraps that entry: it answers the indexed string from the test
 * process and passes everything else on. It relies on Wine creating the HID device on the
 * minidriver's own driver object; Windows' hidclass.sys would pass the request down instead. */
static NTSTATUS WINAPI device_control(DEVICE_OBJECT *device_object, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    struct relay_request request = { RELAY_STRING, 0, 0, { 0 } };
    struct relay_reply reply;
    struct sim_device *device;
    ULONG length;
    UCHAR *out;

    if (stack->Parameters.DeviceIoControl.IoControlCode != IOCTL_HID_GET_INDEXED_STRING)
        return hidclass_device_control(device_object, irp);
    if (!(device = device_of_hid_pdo(device_object)) || device->removed)
        return complete(irp, STATUS_DELETE_PENDING, 0);
    if (stack->Parameters.DeviceIoControl.InputBufferLength < sizeof(ULONG)
        || !irp->AssociatedIrp.SystemBuffer)
        return complete(irp, STATUS_INVALID_PARAMETER, 0);
    request.index = *(const ULONG *)irp->AssociatedIrp.SystemBuffer;
    request.length = stack->Parameters.DeviceIoControl.OutputBufferLength;
    if (!relay(device, &request, &reply) || reply.status != RELAY_OK)
        return complete(irp, STATUS_INVALID_PARAMETER, 0);
    out = MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
    length = reply.length < request.length ? reply.length : request.length;
    if (length > RELAY_DATA_MAX)
        length = RELAY_DATA_MAX;
    if (!out)
        return complete(irp, STATUS_INVALID_USER_BUFFER, 0);
    copy_bytes(out, reply.data, length);
    return complete(irp, STATUS_SUCCESS, length);
}

static NTSTATUS WINAPI write(DEVICE_OBJECT *device_object, IRP *irp)
{
    NTSTATUS status;
    write_in_dispatch = irp;
    status = hidclass_write(device_object, irp);
    write_in_dispatch = NULL;
    return status;
}

static NTSTATUS WINAPI pnp(DEVICE_OBJECT *fdo, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    HID_DEVICE_EXTENSION *ext = fdo->DeviceExtension;
    struct sim_device *device = ext->MiniDeviceExtension;
    ULONG i;

    switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_SURPRISE_REMOVAL:
        device->removed = TRUE;
        drop_parked(device);
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_REMOVE_DEVICE:
        device->removed = TRUE;
        drop_parked(device);
        for (i = 0; i < MAX_DEVICES; ++i)
            if (devices[i] == device)
                devices[i] = NULL;
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(ext->NextDeviceObject, irp);
}

static NTSTATUS WINAPI add_device(DRIVER_OBJECT *driver, DEVICE_OBJECT *fdo)
{
    HID_DEVICE_EXTENSION *ext = fdo->DeviceExtension;
    struct sim_device *device = ext->MiniDeviceExtension;
    static const WCHAR prefix[] = RELAY_PIPE_PREFIX;
    WCHAR instance[32];
    const WCHAR *id;
    ULONG i, n;
    NTSTATUS status;
    (void)driver;

    if (!NT_SUCCESS(status = query_instance_id(ext->PhysicalDeviceObject, instance, 32)))
        return status;
    device->fdo = fdo;
    for (n = 0; prefix[n]; ++n)
        device->pipe[n] = prefix[n];
    for (id = instance; *id && n + 1 < 64; ++id)
        device->pipe[n++] = *id;
    device->pipe[n] = 0;
    for (i = 0; i < MAX_DEVICES && devices[i]; ++i)
        ;
    if (i == MAX_DEVICES)
        return STATUS_INSUFFICIENT_RESOURCES;
    devices[i] = device;
    fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registry)
{
    HID_MINIDRIVER_REGISTRATION registration = { 1, driver, registry, sizeof(struct sim_device),
        FALSE, { 0 } };
    NTSTATUS status;

    driver->DriverExtension->AddDevice = add_device;
    driver->MajorFunction[IRP_MJ_PNP] = pnp;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = internal_ioctl;
    if (!NT_SUCCESS(status = HidRegisterMinidriver(&registration)))
        return status;
    hidclass_device_control = driver->MajorFunction[IRP_MJ_DEVICE_CONTROL];
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = device_control;
    hidclass_write = driver->MajorFunction[IRP_MJ_WRITE];
    driver->MajorFunction[IRP_MJ_WRITE] = write;
    return STATUS_SUCCESS;
}
