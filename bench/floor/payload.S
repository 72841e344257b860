/* The carried program's bytes for the floor program; PAYLOAD_FILE is given on the command line. */
  .section .rdata,"dr"
  .balign 16
  .globl floor_payload_begin
floor_payload_begin:
  .incbin PAYLOAD_FILE
  .globl floor_payload_end
floor_payload_end:
