C     SINE_PLOT - A DAMPED SINE CURVE, PLOTTED AS AN OLD PEN-PLOTTER
C     PROGRAM WOULD: SCALE THE DATA, DRAW TWO AXES, THE CURVE WITH
C     MARKERS, A TITLE AND A LEGEND.  LINK WITH -lkova_plotter -lkova.
      PROGRAM SINEPL
      DIMENSION X(102), Y(102)
      DO 10 I = 1, 100
         X(I) = 0.08 * (I - 1)
         Y(I) = EXP(-0.2 * X(I)) * SIN(2.0 * X(I))
   10 CONTINUE
      CALL PLOTS(0, 0, 0)
C     A FRAME ROUND THE PAGE, THEN THE ORIGIN 1.5 INCHES IN.
      CALL PLOT(0.2, 0.2, 3)
      CALL PLOT(10.8, 0.2, 2)
      CALL PLOT(10.8, 8.3, 2)
      CALL PLOT(0.2, 8.3, 2)
      CALL PLOT(0.2, 0.2, 2)
      CALL PLOT(1.5, 1.2, -3)
      CALL SCALE(X, 8.0, 100, 1)
      CALL SCALE(Y, 5.0, 100, 1)
      CALL AXIS(0.0, 0.0, 'TIME IN SECONDS', -15, 8.0, 0.0, X(101),
     1          X(102))
      CALL AXIS(0.0, 0.0, 'AMPLITUDE', 9, 5.0, 90.0, Y(101), Y(102))
      CALL NEWPEN(4)
      CALL LINE(X, Y, 100, 1, 8, 1)
      CALL NEWPEN(2)
      CALL SYMBOL(0.5, 5.6, 0.3, 'DAMPED SINE', 0.0, 11)
      CALL SYMBOL(999., 999., 0.3, ', DECAY ', 0.0, 8)
      CALL NUMBER(999., 999., 0.3, 0.2, 0.0, 1)
C     A LEGEND OF THE FOURTEEN MARKERS, EACH WITH ITS NUMBER.
      CALL NEWPEN(1)
      DO 20 I = 0, 13
         XM = 0.3 + 0.55 * I
         CALL SYMBOL(XM, 6.4, 0.2, I, 0.0, -1)
         CALL NUMBER(XM - 0.07, 6.05, 0.1, FLOAT(I), 0.0, -1)
   20 CONTINUE
      CALL NEWPEN(3)
      CALL SYMBOL(9.0, 0.5, 0.18, 'Seconds, not inches', 90.0, 19)
      CALL PLOT(0.0, 0.0, 999)
      END
