C     PAGES - TWO PAGES IN THE CLASSIC PEN-PLOTTER STYLE, FOR THE
C     PLOTTER LIBRARY'S TEST: A BOX, THE MARKERS, TEXT AT 0 AND 90
C     DEGREES, A NUMBER, AN ORIGIN SHIFT WITH A FACTOR; THEN AXES, A
C     SCALED LINE AND A LABEL WHERE PLOT LEFT THE PEN.  WHAT WHERE AND
C     SCALE RETURN GOES TO STANDARD OUTPUT.
      PROGRAM PAGES
      DIMENSION X(7), Y(7), Z(7)
      CALL PLOTS(0, 0, 0)
      CALL PLOT(1.0, 1.0, 3)
      CALL PLOT(3.0, 1.0, 2)
      CALL PLOT(3.0, 2.0, 2)
      CALL PLOT(1.0, 2.0, 2)
      CALL PLOT(1.0, 1.0, 2)
      DO 10 I = 0, 13
         CALL SYMBOL(1.0 + 0.5 * I, 3.0, 0.3, I, 0.0, -1)
   10 CONTINUE
      CALL SYMBOL(8.5, 3.0, 0.3, 4, 0.0, -2)
      CALL SYMBOL(1.0, 5.0, 0.5, 'L', 0.0, 1)
      CALL SYMBOL(999., 999., 0.5, 'L', 0.0, 1)
      CALL SYMBOL(4.0, 5.0, 0.5, 'L', 90.0, 1)
      CALL NUMBER(6.0, 5.0, 0.5, 3.14159, 0.0, 2)
      CALL PLOT(5.0, 0.5, -3)
      CALL FACTOR(0.5)
      CALL PLOT(2.0, 0.0, 2)
      CALL WHERE(XW, YW, FW)
      WRITE (*, '(3F8.3)') XW, YW, FW
      CALL PLOT(2.0, 2.0, 2)
      CALL PLOT(0.0, 2.0, 2)
      CALL PLOT(0.0, 0.0, 2)
      CALL PLOTS(0, 0, 0)
      CALL AXIS(1.0, 1.0, 'X', -1, 5.0, 0.0, 0.0, 1.0)
      CALL AXIS(1.0, 1.0, 'Y', 1, 4.0, 90.0, 0.0, 1.0)
      DO 20 I = 1, 5
         X(I) = I - 1
         Y(I) = 2 * (I - 1)
         Z(I) = Y(I)
   20 CONTINUE
      CALL SCALE(X, 4.0, 5, 1)
      CALL SCALE(Y, 4.0, 5, 1)
      CALL SCALE(Z, 4.0, 5, -1)
      WRITE (*, '(6F8.3)') X(6), X(7), Y(6), Y(7), Z(6), Z(7)
      CALL PLOT(1.0, 1.0, -3)
      CALL LINE(X, Y, 5, 1, 2, 0)
      CALL PLOT(7.0, 5.0, 3)
      CALL PLOT(8.0, 6.0, 2)
      CALL SYMBOL(999., 999., 0.5, 'L', 0.0, 1)
      CALL PLOT(0.0, 0.0, 999)
      END
