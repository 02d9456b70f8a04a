e2e_cases(sandbox)
