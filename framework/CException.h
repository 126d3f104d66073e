#pragma once
// Base of the framework's exceptions. They are thrown as pointers, as the
// application code catches them ("catch (CSeException* e)"), and the catcher
// ends their life with Delete().

class CException {
public:
    CException() = default;
    CException(const CException&) = delete;
    CException& operator=(const CException&) = delete;
    virtual ~CException() = default;

    void Delete() { delete this; }
};
