// Tests of the popup tools arithmetic (filled in once the engine lands).
