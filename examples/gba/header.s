@ The cartridge header and start code. The console starts in ARM state at
@ the ROM's first word, which branches over the 192-byte header.
@ The logo bitmap (0x04-0x9F) is left zero: emulators boot without it, real
@ hardware needs it filled in by the toolchain's header tool.
    .section .rom_header, "ax"
    .arm
    .global rom_start
rom_start:
    b start
    .fill 0x9C, 1, 0            @ 0x04: logo

@ Bytes 0xA0-0xBC count towards the complement check at 0xBD.
    .set check_sum, 0
    .macro header_byte value
    .byte \value
    .set check_sum, check_sum + (\value)
    .endm
    .macro header_bytes values:vararg
    .irp value, \values
    header_byte \value
    .endr
    .endm

    @ 0xA0: title "VEXLOPALETTE"; 0xAC: game code "VXLE"; 0xB0: maker "00"
    header_bytes 0x56, 0x45, 0x58, 0x4C, 0x4F, 0x50, 0x41, 0x4C, 0x45, 0x54, 0x54, 0x45
    header_bytes 0x56, 0x58, 0x4C, 0x45
    header_bytes 0x30, 0x30
    header_byte 0x96            @ 0xB2: fixed value
    .rept 10                    @ 0xB3: unit, device, reserved, version
    header_byte 0
    .endr
    .byte (-check_sum - 0x19) & 0xFF  @ 0xBD: complement check
    .byte 0, 0                  @ 0xBE: reserved

start:
    ldr sp, =0x03007F00         @ stack at the top of internal work RAM
    ldr r0, =data_load          @ variables' first values, from ROM
    ldr r1, =data_start
    ldr r2, =data_end
1:  cmp r1, r2
    ldrlo r3, [r0], #4
    strlo r3, [r1], #4
    blo 1b
    ldr r1, =bss_start          @ the other variables start at zero
    ldr r2, =bss_end
    mov r3, #0
2:  cmp r1, r2
    strlo r3, [r1], #4
    blo 2b
    ldr r4, =init_array_start   @ C++ constructors of global objects
    ldr r5, =init_array_end
4:  cmp r4, r5
    bhs 5f
    ldr r0, [r4], #4
    mov lr, pc
    bx r0
    b 4b
5:  ldr r0, =show_palette
    mov lr, pc
    bx r0
3:  b 3b
    .pool
