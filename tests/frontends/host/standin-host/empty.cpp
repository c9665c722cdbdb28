// A module needs some code to be linked; its content is its version resource.
