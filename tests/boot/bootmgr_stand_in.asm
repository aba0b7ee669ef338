; Stands in for the Windows boot manager starting a "bootsector" entry: the
; whole boot-sector file is loaded at 0:7C00 and started with the boot drive
; in DL, while the disk's own first track stays as Windows left it. This MBR
; code (at most 440 bytes, so that the disk's signature and partition table
; stay) moves itself out of the way and loads FILE_SECTORS sectors from
; FILE_LBA, where the test put the file, then jumps to it.
; nasm -f bin -DFILE_LBA=N -DFILE_SECTORS=M bootmgr_stand_in.asm
bits 16
org 0x600

start:
    cli
    xor ax, ax
    mov ss, ax
    mov sp, 0x7c00
    mov ds, ax
    mov es, ax
    sti
    cld
    mov si, 0x7c00
    mov di, 0x600
    mov cx, 256
    rep movsw
    jmp 0:moved

moved:
    mov [drive], dl
    mov si, packet
    mov ah, 0x42
    int 0x13
    jc failed
    mov dl, [drive]
    jmp 0:0x7c00

failed:
    mov si, message
.print:
    lodsb
    test al, al
    jz .stop
    mov ah, 0x0e
    mov bx, 7
    int 0x10
    jmp .print
.stop:
    hlt
    jmp .stop

drive: db 0
message: db "boot manager stand-in: disk read failed", 13, 10, 0

align 4
packet:
    db 0x10, 0
    dw FILE_SECTORS
    dw 0x7c00, 0
    dq FILE_LBA

%if $ - $$ > 440
%error "the stand-in does not fit before the disk signature"
%endif
