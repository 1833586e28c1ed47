/* The program image, embedded as read-only data of the launcher. The
   runtime copies its segments to where they run, so the bytes here are
   only read. TULORA_IMAGE_PATH names the image file at build time. */
        .section .rodata.tulora_image,"a"
        .balign 16
        .globl tulora_program_image
        .type tulora_program_image, @object
tulora_program_image:
        .incbin TULORA_IMAGE_PATH
        .byte 0
        .size tulora_program_image, . - tulora_program_image
        .section .note.GNU-stack,"",@progbits
