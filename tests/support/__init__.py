"""What the tests share beyond conftest.py: the scalar reference of the whole
algorithm (oracle, with crmath for its correctly rounded cos, sin and atan2),
the builder of vectors with chosen phases (vectors), and the two test
libraries that also run on their own for long sessions (leakhunt, fuzz_api)."""
