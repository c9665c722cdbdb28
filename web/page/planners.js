const planners = {};
