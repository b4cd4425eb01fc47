/*
 * The linked-in archive: the packed NDAR image, a pointer to it (the value
 * handed to nork_dar_add) and its length. NV_ARCHIVE_FILE names the image.
 */
    .section .rodata
    .balign 16
    .globl dataVelandor_data_data
    .type dataVelandor_data_data, @object
dataVelandor_data_data:
    .incbin NV_ARCHIVE_FILE
dataVelandor_data_end:
    .size dataVelandor_data_data, dataVelandor_data_end - dataVelandor_data_data

    .data
    .balign 8
    .globl dataVelandor_data
    .type dataVelandor_data, @object
dataVelandor_data:
    .quad dataVelandor_data_data
    .size dataVelandor_data, 8

    .balign 4
    .globl dataVelandor_data_size
    .type dataVelandor_data_size, @object
dataVelandor_data_size:
    .long dataVelandor_data_end - dataVelandor_data_data
    .size dataVelandor_data_size, 4

    .section .note.GNU-stack, "", @progbits
