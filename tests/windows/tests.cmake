# Windows tests: added with the Windows fixture.
