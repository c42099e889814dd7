-- Takes SymmetricDS out of a Firebird or InterBase site database. Before
-- these chunks the program has dropped, one statement at a time and in this
-- order, what it found in the catalogue: the movement procedures (they read
-- and write SYM_ tables), the capture triggers (they use the SYM_ tables and
-- functions), the links between SYM_ tables, their own triggers (they use the
-- generators), the tables and the generators. What is left are the external
-- functions. SYM_DATA and SYM_CONTEXT are dropped afterwards by the program,
-- on fresh connections.
DROP EXTERNAL FUNCTION SYM_HEX;
^
DROP EXTERNAL FUNCTION SYM_ESCAPE;
^
DROP EXTERNAL FUNCTION SYM_RTRIM;
^
