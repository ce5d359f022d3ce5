; A small PIC16F628A program for trying Tessaly: it blinks an LED on RB0 with
; the internal 4 MHz oscillator, and keeps a greeting in the data EEPROM.
; Assemble with:  gpasm -p 16f628a -a inhx32 blink.asm
        errorlevel -302
        #include <p16f628a.inc>

        __config _INTOSC_OSC_NOCLKOUT & _WDT_OFF & _PWRTE_ON & _MCLRE_ON & _BOREN_ON & _LVP_OFF & _CP_OFF

count1  equ     0x20
count2  equ     0x21

        org     0x0000
        goto    start

        org     0x0004
        retfie

start   movlw   0x07
        movwf   CMCON           ; comparators off, PORTA digital
        bsf     STATUS, RP0
        clrf    TRISB           ; PORTB all outputs
        bcf     STATUS, RP0
        clrf    PORTB
loop    movlw   0x01
        xorwf   PORTB, f        ; toggle RB0
        call    delay
        goto    loop

delay   movlw   0xFF
        movwf   count1
outer   movlw   0xFF
        movwf   count2
inner   decfsz  count2, f
        goto    inner
        decfsz  count1, f
        goto    outer
        return

        org     0x2100
        de      "Tessaly", 0

        end
