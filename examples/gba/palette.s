@ The palette's colour words, as vexlo converted them, embedded as they are.
    .section .rodata
    .balign 4                   @ palette RAM takes 16- or 32-bit writes
    .global palette_words, palette_words_end
palette_words:
    .incbin "shown.gbapal"
palette_words_end:
